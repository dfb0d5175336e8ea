// Strict SWF parsing. swf-parser never fails on a malformed tag: it keeps the
// bytes as a `Raw` (truncated tag) or `RawBody` (unknown code or bad body) tag.
// parseSwfStrict turns every such tag into an error and adds the checks that
// swf-parser leaves out: the header's file length, a body that each known tag
// parser consumes exactly, frame counts, and a final End tag with nothing after
// it (at the root and inside every sprite).
import fs from 'node:fs';
import zlib from 'node:zlib';
import { ReadableStream } from '@open-flash/stream';
import { parseSwf } from 'swf-parser';
import * as tags from 'swf-parser/parsers/tags';
import { TagType } from 'swf-types';

export class SwfFormatError extends Error {
  constructor(message) {
    super(message);
    this.name = 'SwfFormatError';
  }
}

// Tag code → [name, parser taking (stream, version)] for the tags whose body
// length is checked against what the parser consumes.
const BODY_PARSERS = new Map([
  [1, ['ShowFrame', null]],
  [2, ['DefineShape', (s) => tags.parseDefineShape(s)]],
  [4, ['PlaceObject', (s) => tags.parsePlaceObject(s)]],
  [5, ['RemoveObject', (s) => tags.parseRemoveObject(s)]],
  [9, ['SetBackgroundColor', (s) => tags.parseSetBackgroundColor(s)]],
  [11, ['DefineText', (s) => tags.parseDefineText(s)]],
  [12, ['DoAction', (s) => tags.parseDoAction(s)]],
  [22, ['DefineShape2', (s) => tags.parseDefineShape2(s)]],
  [26, ['PlaceObject2', (s, v) => tags.parsePlaceObject2(s, v)]],
  [28, ['RemoveObject2', (s) => tags.parseRemoveObject2(s)]],
  [32, ['DefineShape3', (s) => tags.parseDefineShape3(s)]],
  [33, ['DefineText2', (s) => tags.parseDefineText2(s)]],
  [34, ['DefineButton2', (s) => tags.parseDefineButton2(s)]],
  [37, ['DefineEditText', (s) => tags.parseDefineEditText(s)]],
  [43, ['FrameLabel', (s) => tags.parseFrameLabel(s)]],
  [48, ['DefineFont2', (s) => tags.parseDefineFont2(s)]],
  [56, ['ExportAssets', (s) => tags.parseExportAssets(s)]],
  [59, ['DoInitAction', (s) => tags.parseDoInitAction(s)]],
]);

function readHeaderRect(bytes, offset) {
  const nbits = bytes[offset] >>> 3;
  return offset + Math.ceil((5 + 4 * nbits) / 8);
}

/**
 * Walks the tag list of `movie` from `pos` to `end`; returns the number of
 * ShowFrame tags. `where` names the timeline in messages.
 */
function walkTags(movie, pos, end, version, where) {
  let frames = 0;
  let index = 0;
  for (;;) {
    if (pos + 2 > end) throw new SwfFormatError(`${where}: no End tag (tag list runs out at byte ${pos})`);
    const codeAndLength = movie.readUInt16LE(pos);
    const code = codeAndLength >>> 6;
    let length = codeAndLength & 0x3f;
    let bodyStart = pos + 2;
    if (length === 0x3f) {
      if (bodyStart + 4 > end) throw new SwfFormatError(`${where}: tag ${index} (code ${code}) has a cut long header`);
      length = movie.readUInt32LE(bodyStart);
      bodyStart += 4;
    }
    const bodyEnd = bodyStart + length;
    if (bodyEnd > end) {
      throw new SwfFormatError(`${where}: tag ${index} (code ${code}) needs ${length} bytes, ${end - bodyStart} are left`);
    }
    if (code === 0) {
      if (length !== 0) throw new SwfFormatError(`${where}: End tag with a body of ${length} bytes`);
      if (bodyEnd !== end) throw new SwfFormatError(`${where}: ${end - bodyEnd} bytes after the End tag`);
      return frames;
    }
    const body = movie.subarray(bodyStart, bodyEnd);
    if (code === 1) {
      if (length !== 0) throw new SwfFormatError(`${where}: ShowFrame with a body of ${length} bytes`);
      frames++;
    } else if (code === 39) {
      if (length < 4) throw new SwfFormatError(`${where}: DefineSprite body of ${length} bytes`);
      const id = body.readUInt16LE(0);
      const declared = body.readUInt16LE(2);
      const spriteFrames = walkTags(movie, bodyStart + 4, bodyEnd, version, `sprite ${id}`);
      // A sprite without ShowFrame still has one frame, the one that runs to its End.
      if (spriteFrames !== declared && !(spriteFrames === 0 && declared === 1)) {
        throw new SwfFormatError(`sprite ${id}: declares ${declared} frames, has ${spriteFrames} ShowFrame tags`);
      }
    } else if (BODY_PARSERS.has(code)) {
      const [name, parse] = BODY_PARSERS.get(code);
      const stream = new ReadableStream(new Uint8Array(body));
      try {
        parse(stream, version);
      } catch (err) {
        throw new SwfFormatError(`${where}: ${name} (tag ${index}) does not parse: ${err.message}`);
      }
      if (stream.available() < 0) {
        throw new SwfFormatError(`${where}: ${name} (tag ${index}) reads ${-stream.available()} bytes past its end`);
      }
      if (stream.available() !== 0) {
        throw new SwfFormatError(`${where}: ${name} (tag ${index}) leaves ${stream.available()} of ${length} bytes unread`);
      }
    }
    pos = bodyEnd;
    index++;
  }
}

function findBadTags(list, where, found) {
  list.forEach((t, i) => {
    if (t.type === TagType.Raw) found.push(`${where}: tag ${i} is cut short`);
    else if (t.type === TagType.RawBody) found.push(`${where}: tag ${i} (code ${t.code}) is unknown or malformed`);
    else if (t.type === TagType.DefineSprite) findBadTags(t.tags, `sprite ${t.id}`, found);
  });
}

/**
 * Parses an SWF file (path or bytes) with swf-parser and throws a
 * SwfFormatError on anything malformed. Returns swf-parser's movie
 * ({ header, tags }) plus `uncompressed` (the movie's bytes after the
 * 8-byte signature, inflated when needed).
 */
export function parseSwfStrict(input) {
  const bytes = typeof input === 'string' ? fs.readFileSync(input) : Buffer.from(input);
  if (bytes.length < 8) throw new SwfFormatError(`file of ${bytes.length} bytes is too short for an SWF header`);
  const signature = bytes.toString('latin1', 0, 3);
  if (signature !== 'FWS' && signature !== 'CWS') {
    throw new SwfFormatError(`signature ${JSON.stringify(signature)} is neither FWS nor CWS`);
  }
  const version = bytes[3];
  const declaredLength = bytes.readUInt32LE(4);

  let movie;
  if (signature === 'CWS') {
    try {
      movie = zlib.inflateSync(bytes.subarray(8));
    } catch (err) {
      throw new SwfFormatError(`compressed body does not inflate: ${err.message}`);
    }
  } else {
    movie = bytes.subarray(8);
  }
  if (declaredLength !== movie.length + 8) {
    throw new SwfFormatError(`header gives the length ${declaredLength}, the movie has ${movie.length + 8} bytes`);
  }

  let parsed;
  try {
    parsed = parseSwf(new Uint8Array(bytes));
  } catch (err) {
    throw new SwfFormatError(`swf-parser failed: ${err.message}`);
  }
  const bad = [];
  findBadTags(parsed.tags, 'root', bad);
  if (bad.length) throw new SwfFormatError(bad.join('; '));

  // Header: RECT, frame rate (8.8), frame count.
  const rectEnd = readHeaderRect(movie, 0);
  if (rectEnd + 4 > movie.length) throw new SwfFormatError('header is cut short');
  const frameCount = movie.readUInt16LE(rectEnd + 2);
  const frames = walkTags(movie, rectEnd + 4, movie.length, version, 'root');
  if (frames !== frameCount) {
    throw new SwfFormatError(`header declares ${frameCount} frames, the root has ${frames} ShowFrame tags`);
  }
  return { ...parsed, uncompressed: movie };
}

/** The tags of a parsed movie's root timeline (and sprites, when deep). */
export function allTags(parsed, { deep = true } = {}) {
  const out = [];
  const visit = (list) => {
    for (const t of list) {
      out.push(t);
      if (deep && t.type === TagType.DefineSprite) visit(t.tags);
    }
  };
  visit(parsed.tags);
  return out;
}

export { TagType };
