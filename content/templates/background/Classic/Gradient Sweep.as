ParamsDefine = "<ParamsDefine><Bg.Color1 type=\"color\" caption=\"First colour\" default=\"0x0B1F4D\"/><Bg.Color2 type=\"color\" caption=\"Second colour\" default=\"0x2E8BC0\"/><Bg.Angle type=\"integer\" caption=\"Direction (degrees)\" default=\"30\" min=\"0\" max=\"359\"/><Bg.CycleFrames type=\"integer\" caption=\"Sweep length (frames)\" default=\"96\" min=\"12\" max=\"2400\"/><Bg.Shine type=\"bool\" caption=\"Light streak\" default=\"true\"/><Bg.Alpha type=\"integer\" caption=\"Opacity (percent)\" default=\"100\" min=\"0\" max=\"100\"/></ParamsDefine>";
#include "lib/core.as"
#include "lib/shapes.as"
#include "lib/backdrop.as"

// Two colours in soft bands that sweep across the movie, with a light
// streak passing over them. The bands are drawn once; each frame only moves
// them, so the effect costs next to nothing under the rest of the movie.
var color1 = twColor("Bg.Color1", 0x0B1F4D);
var color2 = twColor("Bg.Color2", 0x2E8BC0);
var angle = twClampNum("Bg.Angle", 30, 0, 359);
var cycle = Math.round(twClampNum("Bg.CycleFrames", 96, 12, 2400));
var shine = twBool("Bg.Shine", true);

var W = twMovieW, H = twMovieH;
// Turned by any angle around the movie's centre, a square of the
// diagonal's size still covers the whole frame.
var D = Math.ceil(Math.sqrt(W * W + H * H)) + 2;

var holder = this.createEmptyMovieClip("holder", 1);
holder._x = W / 2;
holder._y = H / 2;
holder._rotation = angle;
holder._alpha = twClampNum("Bg.Alpha", 100, 0, 100);

// Two periods of the colour cycle side by side: moved by one period the
// band looks exactly as it started, so the loop has no seam.
var band = holder.createEmptyMovieClip("band", 1);
band.beginGradientFill("linear", [color1, color2, color1, color2, color1], [100, 100, 100, 100, 100],
                       [0, 64, 128, 191, 255], {matrixType: "box", x: -D / 2, y: -D / 2, w: 2 * D, h: D, r: 0});
twRect(band, -D / 2, -D / 2, 2 * D, D);
band.endFill();

var streak = null;
if (shine) {
  streak = holder.createEmptyMovieClip("streak", 2);
  var sw = D / 3;
  streak.beginGradientFill("linear", [0xFFFFFF, 0xFFFFFF, 0xFFFFFF], [0, 35, 0], [0, 128, 255],
                           {matrixType: "box", x: 0, y: -D / 2, w: sw, h: D, r: 0});
  twRect(streak, 0, -D / 2, sw, D);
  streak.endFill();
}
twMaskToMovie(this, holder, 2);

var frame = 0;
function place() {
  band._x = -D * frame / cycle;
  // The streak crosses once per cycle and waits off the frame for the
  // second half of it.
  if (streak != null) streak._x = -D / 2 - D / 3 + (D + D / 3) * Math.min(1, 2 * frame / cycle);
}
place();
this.onEnterFrame = function () {
  frame = (frame + 1) % cycle;
  place();
};
