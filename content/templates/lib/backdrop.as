// Helpers of the background effects: the movie's size, a repeatable
// random sequence (the same movie gives the same frames in every preview,
// capture and export) and a mask to the movie's frame. Needs lib/shapes.as.

// The movie's size in pixels as the composer hands it in.
var twMovieW = Math.max(1, twNum("Movie.Width", 400));
var twMovieH = Math.max(1, twNum("Movie.Height", 300));

// A Park-Miller sequence: exact in double arithmetic, so every player gives
// the same numbers.
var twSeed = 20231;
function twRandom() {
  twSeed = (twSeed * 16807) % 2147483647;
  return (twSeed - 1) / 2147483646;
}
function twRandomRange(low, high) {
  return low + (high - low) * twRandom();
}

// An integer parameter kept within its declared bounds.
function twClampNum(name, def, low, high) {
  var v = twNum(name, def);
  if (isNaN(v)) v = def;
  return Math.max(low, Math.min(high, v));
}

// Masks clip to the movie's frame, so that what moves beyond the edges is
// not seen where a player shows more than the stage.
function twMaskToMovie(parent, clip, depth) {
  var mask = parent.createEmptyMovieClip(clip._name + "Mask", depth);
  mask.beginFill(0x000000, 100);
  twRect(mask, 0, 0, twMovieW, twMovieH);
  mask.endFill();
  clip.setMask(mask);
}
