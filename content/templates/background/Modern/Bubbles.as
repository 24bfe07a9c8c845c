ParamsDefine = "<ParamsDefine><Bg.Color type=\"color\" caption=\"Bubble colour\" default=\"0xBFE6FF\"/><Bg.Count type=\"integer\" caption=\"Number of bubbles\" default=\"24\" min=\"1\" max=\"200\"/><Bg.MinSize type=\"integer\" caption=\"Smallest bubble (pixels)\" default=\"6\" min=\"2\" max=\"200\"/><Bg.MaxSize type=\"integer\" caption=\"Largest bubble (pixels)\" default=\"30\" min=\"2\" max=\"400\"/><Bg.Speed type=\"integer\" caption=\"Rising speed\" default=\"3\" min=\"1\" max=\"20\"/><Bg.Alpha type=\"integer\" caption=\"Opacity (percent)\" default=\"70\" min=\"0\" max=\"100\"/></ParamsDefine>";
#include "lib/core.as"
#include "lib/shapes.as"
#include "lib/backdrop.as"

// Bubbles that rise and sway, the larger ones faster. Each bubble is drawn
// once as a clip of its own; a frame only moves them.
var color = twColor("Bg.Color", 0xBFE6FF);
var count = Math.round(twClampNum("Bg.Count", 24, 1, 200));
var small = twClampNum("Bg.MinSize", 6, 2, 200);
var large = twClampNum("Bg.MaxSize", 30, 2, 400);
if (small > large) {
  var swap = small;
  small = large;
  large = swap;
}
var speed = twClampNum("Bg.Speed", 3, 1, 20);

var W = twMovieW, H = twMovieH;
var layer = this.createEmptyMovieClip("layer", 1);
layer._alpha = twClampNum("Bg.Alpha", 70, 0, 100);
twMaskToMovie(this, layer, 2);

function drawBubble(clip, r) {
  // Clear in the middle and denser towards the rim, as a soap film looks.
  clip.beginGradientFill("radial", [color, color, color], [8, 20, 65], [0, 180, 255],
                         {matrixType: "box", x: -r, y: -r, w: 2 * r, h: 2 * r, r: 0});
  clip.lineStyle(1, color, 85);
  twCircle(clip, 0, 0, r);
  clip.endFill();
  clip.lineStyle();
  clip.beginFill(0xFFFFFF, 75);
  twCircle(clip, -r * 0.38, -r * 0.38, Math.max(1, r * 0.18));
  clip.endFill();
}

var bubbles = [];
function launch(b, anywhere) {
  b.baseX = twRandomRange(0, W);
  b._y = anywhere ? twRandomRange(0, H + b.r) : H + b.r + twRandomRange(0, H * 0.25);
  b.phase = twRandomRange(0, 2 * Math.PI);
}
for (var i = 0; i < count; i++) {
  // Small bubbles are more common than large ones.
  var r = (small + (large - small) * Math.pow(twRandom(), 2)) / 2;
  var b = layer.createEmptyMovieClip("b" + i, i + 1);
  b.r = r;
  b.rise = speed * (0.35 + 0.65 * r * 2 / large) * 0.6;
  b.sway = 2 + r * 0.4;
  b.turn = twRandomRange(0.04, 0.09);
  drawBubble(b, r);
  launch(b, true);
  b._x = b.baseX + Math.sin(b.phase) * b.sway;
  bubbles.push(b);
}

this.onEnterFrame = function () {
  for (var i = 0; i < bubbles.length; i++) {
    var b = bubbles[i];
    b._y -= b.rise;
    if (b._y < -b.r) launch(b, false);
    b.phase += b.turn;
    b._x = b.baseX + Math.sin(b.phase) * b.sway;
  }
};
