ParamsDefine = "<ParamsDefine><Bg.StarColor type=\"color\" caption=\"Star colour\" default=\"0xFFFFFF\"/><Bg.SkyColor type=\"color\" caption=\"Sky colour\" default=\"0x000814\"/><Bg.FillSky type=\"bool\" caption=\"Fill the sky\" default=\"true\"/><Bg.Count type=\"integer\" caption=\"Number of stars\" default=\"120\" min=\"10\" max=\"500\"/><Bg.Speed type=\"integer\" caption=\"Speed\" default=\"4\" min=\"1\" max=\"20\"/><Bg.Mode type=\"selection\" caption=\"Motion\" default=\"Warp\" selection=\"Warp;Drift\"/></ParamsDefine>";
#include "lib/core.as"
#include "lib/shapes.as"
#include "lib/backdrop.as"

// Stars that fly out of the middle of the movie ("Warp") or drift past in
// layers ("Drift"). All stars are one shape redrawn each frame.
var starColor = twColor("Bg.StarColor", 0xFFFFFF);
var skyColor = twColor("Bg.SkyColor", 0x000814);
var count = Math.round(twClampNum("Bg.Count", 120, 10, 500));
var speed = twClampNum("Bg.Speed", 4, 1, 20);
var warp = twText("Bg.Mode", "Warp").toLowerCase() != "drift";

var W = twMovieW, H = twMovieH;
var cx = W / 2, cy = H / 2;
var focal = Math.max(W, H) / 2;
var nearest = 0.05;

if (twBool("Bg.FillSky", true)) {
  this.beginFill(skyColor, 100);
  twRect(this, 0, 0, W, H);
  this.endFill();
}
var sky = this.createEmptyMovieClip("stars", 1);

// Each star: x and y (warp: where it shows at the far plane, relative to
// the focal length; drift: pixels), z
// (warp: distance, 1 far to nearest; drift: nearness, 0.2 far to 1 near).
var xs = [], ys = [], zs = [];
function spawn(i, anywhere) {
  if (warp) {
    xs[i] = twRandomRange(-1, 1) * cx / focal;
    ys[i] = twRandomRange(-1, 1) * cy / focal;
    zs[i] = anywhere ? twRandomRange(nearest, 1) : 1;
  } else {
    xs[i] = anywhere ? twRandomRange(0, W) : W + 2;
    ys[i] = twRandomRange(0, H);
    zs[i] = twRandomRange(0.2, 1);
  }
}
for (var i = 0; i < count; i++) spawn(i, true);

var step = speed * 0.004;
function drawStars() {
  sky.clear();
  for (var i = 0; i < count; i++) {
    if (warp) {
      var z = zs[i];
      var px = cx + xs[i] * focal / z, py = cy + ys[i] * focal / z;
      var near = 1 - z;
      // A streak from where the star was a frame ago: longer when close.
      var back = Math.min(1, z + step * 1.5);
      sky.lineStyle(0.5 + near * 2.5, starColor, 25 + near * 75);
      sky.moveTo(cx + xs[i] * focal / back, cy + ys[i] * focal / back);
      sky.lineTo(px, py + 0.01);
    } else {
      var n = zs[i];
      var r = 0.4 + n * 1.1;
      sky.beginFill(starColor, 20 + n * 80);
      twRect(sky, xs[i] - r, ys[i] - r, 2 * r, 2 * r);
      sky.endFill();
    }
  }
}

function moveStars() {
  for (var i = 0; i < count; i++) {
    if (warp) {
      zs[i] -= step;
      var z = zs[i];
      if (z <= nearest) spawn(i, false);
      else {
        var px = cx + xs[i] * focal / z, py = cy + ys[i] * focal / z;
        if (px < -4 || px > W + 4 || py < -4 || py > H + 4) spawn(i, false);
      }
    } else {
      xs[i] -= speed * zs[i] * 0.5;
      if (xs[i] < -2) spawn(i, false);
    }
  }
}

drawStars();
this.onEnterFrame = function () {
  moveStars();
  drawStars();
};
