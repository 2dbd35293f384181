// The page's music decoder: decodes the music off the page's thread and posts it a piece at a time.
'use strict';
importScripts('music-decoder.js');

// Given the Ogg Vorbis file's bytes, posts in order { channels, sampleRate,
// length } (the music's shape), { samples, offset } for each piece (one
// Float32Array per channel, from frame offset on), then { done: true }, or
// { done: false } when the file cannot be decoded.
onmessage = ({ data: file }) => {
  createMusicDecoder({
    musicShape: (channels, sampleRate, length) => postMessage({ channels, sampleRate, length }),
    musicPiece: (samples, offset) => postMessage({ samples, offset }, samples.map((channel) => channel.buffer)),
  }).then((decoder) => {
    const address = decoder._malloc(file.length);
    decoder.HEAPU8.set(file, address);
    return decoder._decodeMusic(address, file.length) === 1;
  }).then((done) => postMessage({ done }), () => postMessage({ done: false }));
};
