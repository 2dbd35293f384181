// The program and its images: downloaded once a visit, the program compiled, the images decoded in a worker.
'use strict';

// The folder of the program's assets in its file system; the music's stand-in is no image.
const assetsFolder = '/dada';
const musicStandIn = '/dada/delfiini.kalako';
let downloads = null;
let imageWorker = null;
let imagesDecoding = null;

async function fetchOk(url) {
  const response = await fetch(url);
  if (!response.ok) {
    throw new Error(`${url}: ${response.status} ${response.statusText}`);
  }
  return response;
}

// Runs a script of the site's, once; resolves when it has run.
function loadScript(url) {
  return new Promise((resolve, reject) => {
    const script = document.createElement('script');
    script.src = url;
    script.onload = resolve;
    script.onerror = () => reject(new Error(`${url} could not be loaded`));
    document.head.appendChild(script);
  });
}

// Compiles the program while it downloads, where the server says it is WebAssembly.
async function compileProgram(url) {
  const response = await fetchOk(url);
  if (WebAssembly.compileStreaming && (response.headers.get('Content-Type') || '').startsWith('application/wasm')) {
    return WebAssembly.compileStreaming(response);
  }
  return WebAssembly.compile(await response.arrayBuffer());
}

// Downloads the assets' package, the progress bar following, and calls
// nearlyIn once the rest of it will take about as long to arrive as the
// request took to be answered, so that a download asked for then follows it
// without sharing the network with it. Compressed on the way, its length in
// bytes is not known, and nearlyIn comes at its end.
async function fetchAssets(url, nearlyIn) {
  const askedAtMs = performance.now();
  const response = await fetchOk(url);
  const answerMs = performance.now() - askedAtMs;
  const total = response.headers.get('Content-Encoding') ? 0 : Number(response.headers.get('Content-Length'));
  if (!response.body || !total) {
    const assets = await response.arrayBuffer();
    nearlyIn();
    return assets;
  }
  const reader = response.body.getReader();
  const startedAtMs = performance.now();
  const chunks = [];
  let loaded = 0;
  for (;;) {
    const { done, value } = await reader.read();
    if (done) {
      break;
    }
    chunks.push(value);
    loaded += value.length;
    progress.value = Math.min(loaded / total, 1);
    const bytesPerMs = loaded / Math.max(performance.now() - startedAtMs, 1);
    if ((total - loaded) / bytesPerMs <= answerMs) {
      nearlyIn();
    }
  }
  nearlyIn();
  return new Blob(chunks).arrayBuffer();
}

// The program's loader, the compiled program and the assets' package, for
// every showing: [program, assets]. nearlyIn is called once the package's
// end is near (fetchAssets), at the latest when it is in, maybe more than
// once; only the first download calls it.
function download(nearlyIn) {
  if (downloads === null) {
    downloads = Promise.all([compileProgram('demo.wasm'), fetchAssets('demo.data', nearlyIn), loadScript('demo.js')]);
  }
  return downloads;
}

// Starts the images' worker, which loads its decoder while the assets download.
function prepareImageDecoder() {
  if (imageWorker === null) {
    imageWorker = new Worker('image-worker.js');
  }
}

// Decodes the assets' images in the worker into BMPs, which the program reads
// without decoding: decoded as the show starts, they would hold the page for
// a long moment. Resolves to the list of { path, bmp }; to an empty list
// where the worker fails, and the program decodes them itself.
function decodeImages(files) {
  prepareImageDecoder();
  return new Promise((resolve) => {
    const worker = imageWorker;
    const finish = (images) => {
      worker.terminate();
      resolve(images);
    };
    worker.onerror = () => finish([]);
    worker.onmessage = ({ data }) => finish(data);
    worker.postMessage(files, files.map(({ file }) => file.buffer));
  });
}

// The images, decoded once for all showings from the first instance's assets
// (every file but the music's stand-in; the decoder passes over what is no image).
function imagesDecoded(show) {
  if (imagesDecoding === null) {
    const paths = show.FS.readdir(assetsFolder).map((name) => `${assetsFolder}/${name}`)
      .filter((path) => path !== musicStandIn && show.FS.isFile(show.FS.stat(path).mode));
    imagesDecoding = decodeImages(paths.map((path) => ({ path, file: show.FS.readFile(path) })));
  }
  return imagesDecoding;
}
