// The tags of a plain (FWS) movie's main timeline, as positions in its bytes;
// sprites are not entered.
export function topLevelTags(bytes) {
  const nbits = bytes[8] >> 3;
  let p = 8 + Math.ceil((5 + 4 * nbits) / 8) + 4;
  const tags = [];
  while (p + 2 <= bytes.length) {
    const word = bytes.readUInt16LE(p);
    let length = word & 0x3f;
    let header = 2;
    if (length === 0x3f) {
      length = bytes.readUInt32LE(p + 2);
      header = 6;
    }
    tags.push({ code: word >> 6, start: p, header, length });
    p += header + length;
  }
  return tags;
}

/** The tag codes of the main timeline, in order. */
export const tagCodes = (bytes) => topLevelTags(bytes).map((t) => t.code);

/**
 * The movie stopped on its first frame: a DoAction with Stop goes before the
 * first ShowFrame of the main timeline, and the length field follows.
 */
export function stopOnFirstFrame(bytes) {
  const first = topLevelTags(bytes).find((t) => t.code === 1);
  if (!first) throw new Error('no ShowFrame');
  const stop = Buffer.from([0x02, 0x03, 0x07, 0x00]);
  const out = Buffer.concat([bytes.subarray(0, first.start), stop, bytes.subarray(first.start)]);
  out.writeUInt32LE(out.length, 4);
  return out;
}
