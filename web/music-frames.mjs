// The length in frames of an Ogg Vorbis file: the granule position of its last page.
import { readFileSync } from 'node:fs';
import { fileURLToPath } from 'node:url';

// The frames of the Ogg Vorbis bytes given; 0 where they hold no Ogg page.
export function oggFrames(bytes) {
  const last = Buffer.from(bytes.buffer, bytes.byteOffset, bytes.length).lastIndexOf('OggS');
  return last < 0 || last + 14 > bytes.length ? 0 : Number(bytes.readBigUInt64LE(last + 6));
}

// Run as a command: prints the frames of the file named.
if (process.argv[1] === fileURLToPath(import.meta.url)) {
  console.log(oggFrames(readFileSync(process.argv[2])));
}
