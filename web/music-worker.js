// The page's music: fetches the music file and decodes it as its bytes come, off the page's thread.
'use strict';
importScripts('music-decoder.js');

// The decoder, loaded as the worker starts, before the music is asked for.
const decoding = createMusicDecoder({
  musicShape: (channels, sampleRate) => postMessage({ channels, sampleRate }),
  musicPiece: (samples, offset) => postMessage({ samples, offset }, samples.map((channel) => channel.buffer)),
});

// Given { url }, fetches the Ogg Vorbis file there and posts: { channels,
// sampleRate } (the music's shape) once its headers are in; { samples,
// offset } for each piece decoded (one Float32Array per channel, from frame
// offset on); { receivedBytes, totalBytes } after each part of the file
// (totalBytes 0 where the server does not tell); and last { done: true }, or
// { done: false, error } where the file cannot be fetched or decoded.
onmessage = async ({ data: { url } }) => {
  try {
    const decoder = await decoding;
    const response = await fetch(url);
    if (!response.ok) {
      throw new Error(`${url}: ${response.status} ${response.statusText}`);
    }
    const totalBytes = response.headers.get('Content-Encoding') ? 0 : Number(response.headers.get('Content-Length')) || 0;
    const reader = response.body.getReader();
    let receivedBytes = 0;
    for (;;) {
      const { done, value } = await reader.read();
      const bytes = value || new Uint8Array(0);
      receivedBytes += bytes.length;
      if (!decodeBytes(decoder, bytes, done)) {
        throw new Error('the music could not be decoded');
      }
      postMessage({ receivedBytes, totalBytes });
      if (done) {
        break;
      }
    }
    postMessage({ done: true });
  } catch (error) {
    postMessage({ done: false, error: String(error.message || error) });
  }
};

// Hands the decoder the next bytes of the file (last: the file ends there).
function decodeBytes(decoder, bytes, last) {
  const address = decoder._malloc(Math.max(bytes.length, 1));
  decoder.HEAPU8.set(bytes, address);
  const decodes = decoder._decodeMusicBytes(address, bytes.length, last ? 1 : 0) === 1;
  decoder._free(address);
  return decodes;
}
