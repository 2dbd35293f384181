// The music: downloaded on its own and decoded in a worker as its bytes come, into the buffer the page plays.
'use strict';

const musicFile = 'delfiini.kalako';
// The show may start while the music still arrives, if every part of it
// comes at least this long before it is due, at the rate measured so far.
const musicAheadS = 3;
// The music's length in frames, which the build writes on the page: the
// buffer is made whole before the end of the file, which tells it, arrives.
const musicFrames = Number(document.body.dataset.musicFrames);

// The music's download: its worker, its buffer (made once the file's
// headers are in), the frames decoded into it, the bytes received of the
// total (0 where the server does not tell), when it was asked for, whether
// all of it is in, and why it failed (null while it has not).
const pageMusic = {
  worker: null, buffer: null, decodedFrames: 0, receivedBytes: 0, totalBytes: 0, askedAtMs: 0, done: false,
  failure: null,
  // Called whenever more of it is in, or it failed.
  onChange: () => {},
};

// Starts the music's worker, once a visit, which loads its decoder while
// the music waits to be asked for (askForMusic); onChange is called as the
// music comes.
function prepareMusic(onChange) {
  pageMusic.onChange = onChange;
  if (pageMusic.worker !== null) {
    return;
  }
  const worker = new Worker('music-worker.js');
  pageMusic.worker = worker;
  const fail = (why) => {
    worker.terminate();
    pageMusic.failure = why;
    pageMusic.onChange();
  };
  if (!(musicFrames > 0)) {
    fail('the page does not tell the music\'s length');
    return;
  }
  worker.onerror = (event) => fail('the music decoder failed: ' + event.message);
  worker.onmessage = ({ data }) => {
    if (data.sampleRate !== undefined) {
      pageMusic.buffer = new AudioBuffer({ numberOfChannels: data.channels, sampleRate: data.sampleRate,
        length: musicFrames });
    } else if (data.samples !== undefined) {
      keepMusicPiece(data.samples, data.offset);
    } else if (data.receivedBytes !== undefined) {
      pageMusic.receivedBytes = data.receivedBytes;
      pageMusic.totalBytes = data.totalBytes;
    } else if (data.done && pageMusic.buffer !== null) {
      worker.terminate();
      pageMusic.done = true;
      musicArrived(Infinity);
    } else {
      fail(data.error || 'the music could not be decoded');
      return;
    }
    pageMusic.onChange();
  };
}

// Asks the worker for the music, once a visit.
function askForMusic() {
  if (pageMusic.askedAtMs === 0 && pageMusic.failure === null) {
    pageMusic.askedAtMs = performance.now();
    pageMusic.worker.postMessage({ url: musicFile });
  }
}

// Copies a decoded piece into the buffer, as far as the buffer reaches, and
// lets a playing music go on into it.
function keepMusicPiece(samples, offset) {
  const { buffer } = pageMusic;
  const frames = Math.min(samples[0].length, buffer.length - offset);
  if (frames <= 0) {
    return;
  }
  samples.forEach((channel, index) => buffer.copyToChannel(channel.subarray(0, frames), index, offset));
  pageMusic.decodedFrames = offset + frames;
  musicArrived(1000 * pageMusic.decodedFrames / buffer.sampleRate);
}

// Whether a show started now finds every part of the music in place when
// it is due: all of it in, or the rest arriving, at the rate measured so
// far, at least musicAheadS before it is due (as a video player decides
// that it can play through).
function musicArrivesInTime(nowMs) {
  const { buffer, decodedFrames, receivedBytes, totalBytes, askedAtMs } = pageMusic;
  if (pageMusic.done) {
    return true;
  }
  if (buffer === null || totalBytes === 0 || receivedBytes === 0) {
    return false;
  }
  const bytesPerS = receivedBytes / ((nowMs - askedAtMs) / 1000);
  const restS = (totalBytes - receivedBytes) / bytesPerS;
  return decodedFrames / buffer.sampleRate >= musicAheadS && restS + musicAheadS <= buffer.duration;
}

// The share of the music's bytes in, for the progress bar.
function musicShareIn() {
  return pageMusic.totalBytes ? pageMusic.receivedBytes / pageMusic.totalBytes : 0;
}
