// The player test harness: convert markup, parse movies strictly, render them
// in Ruffle and check their pixels.
export { serve } from './serve.mjs';
export { renderSwf, closeBrowser, savePng, callPlayer, playerPage, shootStage } from './player.mjs';
export { parseSwfStrict, allTags, SwfFormatError, TagType } from './swf-strict.mjs';
export {
  colorAt,
  colorDistance,
  colorMatches,
  assertColorAt,
  boxMismatches,
  assertBoxColor,
  meanAbsDiff,
  ssim,
  hex,
  px,
} from './pixels.mjs';
export { makeSwf } from './minimal-swf.mjs';
export { convertPage, runConverter, scratchDir, converterPath, binDir, sourceDir, swfbuildPath, buildMovie } from './convert.mjs';
export { topLevelTags, tagCodes, stopOnFirstFrame } from './swf-tags.mjs';
export {
  runProgram,
  writeStoreValue,
  writeTestPrinterStore,
  readBag,
  bagSize,
  unscrambleJobFile,
  stoppedOnFrame,
  cropImage,
} from './print-job.mjs';
export { makePdf } from './pdf.mjs';
export { inkOverlap, assertOverlap, describeOverlap, OVERLAP_THRESHOLD } from './ink.mjs';
