// Recompresses a PNG file's image data at zlib's highest level, the pixels as they were; copies any other file as it is.
//
//   node web/recompress-png.mjs IN OUT
// The web's package of assets travels over phones' networks, where each
// kilobyte counts; the native asset generators write with the default level.
import { readFileSync, writeFileSync } from 'node:fs';
import zlib from 'node:zlib';

const signature = Buffer.from([0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a]);

// The CRC-32 of PNG's chunks (zlib's crc32 only from Node.js 20.15 on).
const crcTable = Array.from({ length: 256 }, (_, n) => {
  let c = n;
  for (let k = 0; k < 8; k++) {
    c = c & 1 ? 0xedb88320 ^ (c >>> 1) : c >>> 1;
  }
  return c >>> 0;
});

function crc32(bytes) {
  let c = 0xffffffff;
  for (const byte of bytes) {
    c = crcTable[(c ^ byte) & 0xff] ^ (c >>> 8);
  }
  return (c ^ 0xffffffff) >>> 0;
}

// The file's chunks, { type, data }; null where it is no PNG file.
function chunksOf(bytes) {
  if (!bytes.subarray(0, 8).equals(signature)) {
    return null;
  }
  const chunks = [];
  for (let at = 8; at + 12 <= bytes.length;) {
    const length = bytes.readUInt32BE(at);
    chunks.push({ type: bytes.toString('latin1', at + 4, at + 8), data: bytes.subarray(at + 8, at + 8 + length) });
    at += 12 + length;
  }
  return chunks;
}

function chunkBytes({ type, data }) {
  const typed = Buffer.concat([Buffer.from(type, 'latin1'), data]);
  const length = Buffer.alloc(4);
  length.writeUInt32BE(data.length);
  const crc = Buffer.alloc(4);
  crc.writeUInt32BE(crc32(typed));
  return Buffer.concat([length, typed, crc]);
}

// The PNG with its image data in one chunk, deflated anew where that is smaller.
function recompressed(bytes) {
  const chunks = chunksOf(bytes);
  const first = chunks ? chunks.findIndex(({ type }) => type === 'IDAT') : -1;
  if (first < 0) {
    return bytes;
  }
  const image = chunks.filter(({ type }) => type === 'IDAT');
  const data = zlib.deflateSync(zlib.inflateSync(Buffer.concat(image.map(({ data }) => data))),
    { level: 9, memLevel: 9, strategy: zlib.constants.Z_FILTERED });
  const others = chunks.filter(({ type }) => type !== 'IDAT');
  const png = Buffer.concat([signature, ...others.slice(0, first).map(chunkBytes), chunkBytes({ type: 'IDAT', data }),
    ...others.slice(first).map(chunkBytes)]);
  return png.length < bytes.length ? png : bytes;
}

const [input, output] = process.argv.slice(2);
writeFileSync(output, recompressed(readFileSync(input)));
