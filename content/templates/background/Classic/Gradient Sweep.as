ParamsDefine = "<ParamsDefine><Bg.Color1 type=\"color\" caption=\"First colour\" default=\"0x0B1F4D\"/><Bg.Color2 type=\"color\" caption=\"Second colour\" default=\"0x2E8BC0\"/><Bg.Angle type=\"integer\" caption=\"Direction (degrees)\" default=\"30\" min=\"0\" max=\"359\"/><Bg.CycleFrames type=\"integer\" caption=\"Sweep length (frames)\" default=\"96\" min=\"12\" max=\"2400\"/><Bg.Shine type=\"bool\" caption=\"Light streak\" default=\"true\"/><Bg.Alpha type=\"integer\" caption=\"Opacity (percent)\" default=\"100\" min=\"0\" max=\"100\"/></ParamsDefine>";
#include "lib/core.as"
#include "lib/shapes.as"
#include "lib/backdrop.as"

// Two colours in soft bands that sweep across the movie, with a light
// streak passing over them. Cheap under the rest of the movie: one
// rectangle a frame, and the streak only where it is.
var color1 = twColor("Bg.Color1", 0x0B1F4D);
var color2 = twColor("Bg.Color2", 0x2E8BC0);
var angle = twClampNum("Bg.Angle", 30, 0, 359);
var cycle = Math.round(twClampNum("Bg.CycleFrames", 96, 12, 2400));
var shine = twBool("Bg.Shine", true);

var W = twMovieW, H = twMovieH;
// A line through the movie's centre at any angle crosses at most its
// diagonal's length of it.
var D = Math.ceil(Math.sqrt(W * W + H * H)) + 2;
var rad = angle * Math.PI / 180;
var ux = Math.cos(rad), uy = Math.sin(rad);
var cx = W / 2, cy = H / 2;

// Both layers are redrawn each frame as fills of the movie's own rectangle,
// so nothing is drawn beyond the frame and no mask is needed; the gradient
// boxes are what moves.
var holder = this.createEmptyMovieClip("holder", 1);
holder._alpha = twClampNum("Bg.Alpha", 100, 0, 100);
var band = holder.createEmptyMovieClip("band", 1);
var streak = shine ? holder.createEmptyMovieClip("streak", 2) : null;
var corners = [{x: 0, y: 0}, {x: W, y: 0}, {x: W, y: H}, {x: 0, y: H}];

// A linear gradient box whose middle lies `along` pixels from the movie's
// centre in the sweep's direction and whose colours spread over `length`.
// The box is square: a turned box of unequal sides skews the gradient.
function sweepBox(along, length) {
  return {matrixType: "box", x: cx + ux * along - length / 2, y: cy + uy * along - length / 2, w: length, h: length,
          r: rad};
}

// The part of a polygon on one side of the line across the sweep at
// `limit` pixels from the centre: the far side when beyond, else the near.
function clipAcross(points, limit, beyond) {
  var out = [];
  for (var i = 0; i < points.length; i++) {
    var p = points[i], q = points[(i + 1) % points.length];
    var dp = (p.x - cx) * ux + (p.y - cy) * uy - limit;
    var dq = (q.x - cx) * ux + (q.y - cy) * uy - limit;
    if (!beyond) {
      dp = -dp;
      dq = -dq;
    }
    if (dp >= 0) out.push(p);
    if ((dp >= 0) != (dq >= 0)) {
      var t = dp / (dp - dq);
      out.push({x: p.x + (q.x - p.x) * t, y: p.y + (q.y - p.y) * t});
    }
  }
  return out;
}

var frame = 0;
function place() {
  // Two periods of the colour cycle side by side: moved by one period the
  // bands look exactly as they started, so the loop has no seam.
  band.clear();
  band.beginGradientFill("linear", [color1, color2, color1, color2, color1], [100, 100, 100, 100, 100],
                         [0, 64, 128, 191, 255], sweepBox(D / 2 - D * frame / cycle, 2 * D));
  twRect(band, 0, 0, W, H);
  band.endFill();
  if (streak == null) return;
  // The streak crosses once per cycle and waits off the frame for the
  // second half of it; only the strip it covers is drawn.
  streak.clear();
  var width = D / 3;
  var start = -D / 2 - width + (D + width) * Math.min(1, 2 * frame / cycle);
  var strip = clipAcross(clipAcross(corners, start, true), start + width, false);
  if (strip.length < 3) return;
  streak.beginGradientFill("linear", [0xFFFFFF, 0xFFFFFF, 0xFFFFFF], [0, 35, 0], [0, 128, 255],
                           sweepBox(start + width / 2, width));
  streak.moveTo(strip[0].x, strip[0].y);
  for (var i = 1; i < strip.length; i++) streak.lineTo(strip[i].x, strip[i].y);
  streak.lineTo(strip[0].x, strip[0].y);
  streak.endFill();
}
place();
this.onEnterFrame = function () {
  frame = (frame + 1) % cycle;
  place();
};
