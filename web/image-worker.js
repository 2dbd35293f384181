// The page's image decoder: decodes the images off the page's thread into files the program reads at once.
'use strict';
importScripts('image-decoder.js');

// The decoder, loaded as the worker starts, before the images come.
const decoding = createImageDecoder();

// Given a list of { path, file } (each file's bytes), posts the list of
// { path, bmp } for those that are images the decoder turns into BMPs; an
// empty list when the decoder fails, so that the program decodes them all.
onmessage = ({ data: files }) => {
  decoding.then((decoder) => {
    const images = [];
    for (const { path, file } of files) {
      const address = decoder._malloc(file.length);
      decoder.HEAPU8.set(file, address);
      decoder.imageDecoded = (bmp) => images.push({ path, bmp });
      decoder._decodeImage(address, file.length);
      decoder._free(address);
    }
    return images;
  }).then((images) => postMessage(images, images.map(({ bmp }) => bmp.buffer)), () => postMessage([]));
};
