// PNG files for the web tests, with node's zlib: reading the frame tool's 8-bit RGB or RGBA
// pictures (not interlaced, as it writes them) and writing a picture, for a failure to show.
import zlib from 'node:zlib';
import fs from 'node:fs';

const Signature = Buffer.from([0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A]);

// {width, height, rgba: Uint8Array (top row first)}; throws on what it does not read.
export function readPng(path) {
  const data = fs.readFileSync(path);
  if (!data.subarray(0, 8).equals(Signature))
    throw new Error(path + ': not a PNG');
  let at = 8, width = 0, height = 0, colorType = 0, depth = 0, interlace = 0;
  const idat = [];
  while (at < data.length) {
    const length = data.readUInt32BE(at);
    const type = data.toString('latin1', at + 4, at + 8);
    const body = data.subarray(at + 8, at + 8 + length);
    if (type === 'IHDR') {
      width = body.readUInt32BE(0);
      height = body.readUInt32BE(4);
      depth = body[8];
      colorType = body[9];
      interlace = body[12];
    } else if (type === 'IDAT') {
      idat.push(body);
    } else if (type === 'IEND') {
      break;
    }
    at += 12 + length;
  }
  const channels = colorType === 2 ? 3 : colorType === 6 ? 4 : 0;
  if (depth !== 8 || !channels || interlace)
    throw new Error(path + ': not an 8-bit RGB or RGBA PNG without interlacing');
  const raw = zlib.inflateSync(Buffer.concat(idat));
  const stride = width * channels;
  const rows = new Uint8Array(stride * height);
  for (let y = 0; y < height; y++) {
    const filter = raw[y * (stride + 1)];
    const line = raw.subarray(y * (stride + 1) + 1, (y + 1) * (stride + 1));
    const out = rows.subarray(y * stride, (y + 1) * stride);
    const up = y > 0 ? rows.subarray((y - 1) * stride, y * stride) : null;
    for (let x = 0; x < stride; x++) {
      const a = x >= channels ? out[x - channels] : 0;
      const b = up ? up[x] : 0;
      const c = up && x >= channels ? up[x - channels] : 0;
      let value = line[x];
      if (filter === 1) value += a;
      else if (filter === 2) value += b;
      else if (filter === 3) value += (a + b) >> 1;
      else if (filter === 4) {
        const p = a + b - c, pa = Math.abs(p - a), pb = Math.abs(p - b), pc = Math.abs(p - c);
        value += pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
      }
      out[x] = value & 255;
    }
  }
  const rgba = new Uint8Array(width * height * 4);
  for (let i = 0; i < width * height; i++) {
    rgba[4 * i] = rows[channels * i];
    rgba[4 * i + 1] = rows[channels * i + 1];
    rgba[4 * i + 2] = rows[channels * i + 2];
    rgba[4 * i + 3] = channels === 4 ? rows[channels * i + 3] : 255;
  }
  return {width, height, rgba};
}

const crcTable = new Int32Array(256).map((_, n) => {
  let c = n;
  for (let k = 0; k < 8; k++)
    c = c & 1 ? 0xEDB88320 ^ (c >>> 1) : c >>> 1;
  return c;
});

function crc32(buffer) {
  let c = -1;
  for (const byte of buffer)
    c = crcTable[(c ^ byte) & 255] ^ (c >>> 8);
  return (c ^ -1) >>> 0;
}

function chunk(type, body) {
  const out = Buffer.alloc(12 + body.length);
  out.writeUInt32BE(body.length, 0);
  out.write(type, 4, 'latin1');
  body.copy(out, 8);
  out.writeUInt32BE(crc32(out.subarray(4, 8 + body.length)), 8 + body.length);
  return out;
}

// Writes an RGB PNG of `rgba` (top row first).
export function writePng(path, width, height, rgba) {
  const raw = Buffer.alloc((width * 3 + 1) * height);
  for (let y = 0; y < height; y++)
    for (let x = 0; x < width; x++)
      for (let c = 0; c < 3; c++)
        raw[y * (width * 3 + 1) + 1 + x * 3 + c] = rgba[(y * width + x) * 4 + c];
  const header = Buffer.alloc(13);
  header.writeUInt32BE(width, 0);
  header.writeUInt32BE(height, 4);
  header[8] = 8;
  header[9] = 2;
  fs.writeFileSync(path, Buffer.concat([Signature, chunk('IHDR', header), chunk('IDAT', zlib.deflateSync(raw)),
    chunk('IEND', Buffer.alloc(0))]));
}

// A capture from the page (RGBA, bottom row first, as WebGL reads it) turned top row first.
export function flipRows(width, height, pixels) {
  const out = new Uint8Array(width * height * 4);
  for (let y = 0; y < height; y++)
    out.set(pixels.subarray((height - 1 - y) * width * 4, (height - y) * width * 4), y * width * 4);
  return out;
}

// How far two pictures of one size are apart: the mean difference over every colour channel, the
// largest one, and the share of the pixels with a channel more than 1, 4, 8 and 16 levels apart.
export function comparePictures(a, b) {
  let sum = 0, largest = 0, over1 = 0, over4 = 0, over8 = 0, over16 = 0;
  const pixels = a.length / 4;
  for (let i = 0; i < pixels; i++) {
    let worst = 0;
    for (let c = 0; c < 3; c++) {
      const d = Math.abs(a[4 * i + c] - b[4 * i + c]);
      sum += d;
      if (d > worst)
        worst = d;
    }
    if (worst > largest)
      largest = worst;
    if (worst > 1) over1++;
    if (worst > 4) over4++;
    if (worst > 8) over8++;
    if (worst > 16) over16++;
  }
  return {mean: sum / (pixels * 3), largest, over1: over1 / pixels, over4: over4 / pixels, over8: over8 / pixels,
    over16: over16 / pixels};
}
