// The life of a preloader: it holds the main timeline in its first frame,
// shows the share of the movie loaded so far, and lets the movie go on once
// everything is loaded and it has been seen for at least minFrames frames.
// The shown share is held back to the share of the minimum time elapsed, so
// a movie that arrives at once still shows the indicator filling up.

// draw(share) is called with the share to show (0..1), first at once with 0
// and then once a frame, with this = clip.
function twRunPreloader(clip, minFrames, draw) {
  _root.stop();
  clip.stop();
  if (isNaN(minFrames) || minFrames < 0) minFrames = 0;
  var frames = 0;
  var shown = -1;
  var update = function () {
    var total = _root.getBytesTotal();
    var loaded = _root.getBytesLoaded();
    var share = total > 0 ? Math.min(1, loaded / total) : 1;
    var held = minFrames > 0 ? Math.min(share, frames / minFrames) : share;
    if (held != shown) {
      shown = held;
      draw.call(clip, held);
    }
    return share >= 1 && frames >= minFrames;
  };
  update();
  clip.onEnterFrame = function () {
    frames++;
    if (update()) {
      delete this.onEnterFrame;
      _root.play();
    }
  };
}

// "42%" for a share of 0.42.
function twPercentText(share) {
  return String(Math.floor(share * 100 + 0.0001)) + "%";
}
