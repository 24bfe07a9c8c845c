//@ stage 90 90 24
ParamsDefine = "<ParamsDefine><Bg.Color type=\"color\" caption=\"Ring colour\" default=\"0x33CCFF\"/><Bg.BgColor type=\"color\" caption=\"Background colour\" default=\"0x101828\"/><Bg.TrackColor type=\"color\" caption=\"Track colour\" default=\"0x2A3A55\"/><Bg.Thickness type=\"integer\" caption=\"Ring thickness\" default=\"7\" min=\"1\" max=\"20\"/><Bg.MinFrames type=\"integer\" caption=\"Shown at least (frames)\" default=\"24\" min=\"0\" max=\"1200\"/><Bg.ShowText type=\"bool\" caption=\"Show percentage\" default=\"true\"/></ParamsDefine>";
#include "lib/core.as"
#include "lib/strokefont.as"
#include "lib/preloader.as"
#include "lib/shapes.as"

// A ring that closes clockwise from the top as the movie loads, with the
// percentage in its middle.
var ringColor = twColor("Bg.Color", 0x33CCFF);
var backColor = twColor("Bg.BgColor", 0x101828);
var trackColor = twColor("Bg.TrackColor", 0x2A3A55);
var thickness = Math.max(1, Math.min(20, twNum("Bg.Thickness", 7)));
var showText = twBool("Bg.ShowText", true);

var W = 90, H = 90;
var cx = W / 2, cy = H / 2;
var radius = 40 - thickness / 2;

this.beginFill(backColor, 100);
twRect(this, 0, 0, W, H);
this.endFill();

// Arc of the share (0..1) of a full turn, from twelve o'clock, as short
// straight pieces: at most 3 degrees each, which looks round at this size.
function arc(clip, share) {
  var steps = Math.max(1, Math.ceil(share * 120));
  for (var i = 0; i <= steps; i++) {
    var a = share * 2 * Math.PI * i / steps - Math.PI / 2;
    var x = cx + radius * Math.cos(a), y = cy + radius * Math.sin(a);
    if (i == 0) clip.moveTo(x, y);
    else clip.lineTo(x, y);
  }
}

var track = this.createEmptyMovieClip("track", 1);
track.lineStyle(thickness, trackColor, 100);
arc(track, 1);
var ring = this.createEmptyMovieClip("ring", 2);

function drawRing(share) {
  ring.clear();
  if (share > 0) {
    ring.lineStyle(thickness, ringColor, 100);
    arc(ring, share);
  }
  if (showText) {
    var percent = twPercentText(share);
    ring.lineStyle(2, ringColor, 100);
    twStrokeText(ring, percent, cx - twStrokeWidth(percent, 2) / 2, cy - 6, 2);
  }
}

twRunPreloader(this, twNum("Bg.MinFrames", 24), drawRing);
