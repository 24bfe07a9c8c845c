//@ stage 200 50 24
ParamsDefine = "<ParamsDefine><Bg.Color type=\"color\" caption=\"Dot colour\" default=\"0x99CC33\"/><Bg.BgColor type=\"color\" caption=\"Background colour\" default=\"0x222222\"/><Bg.DotCount type=\"integer\" caption=\"Number of dots\" default=\"8\" min=\"3\" max=\"16\"/><Bg.DotShape type=\"selection\" caption=\"Dot shape\" default=\"Circle\" selection=\"Circle;Square\"/><Bg.MinFrames type=\"integer\" caption=\"Shown at least (frames)\" default=\"24\" min=\"0\" max=\"1200\"/><Bg.ShowText type=\"bool\" caption=\"Show caption\" default=\"true\"/></ParamsDefine>";
#include "lib/core.as"
#include "lib/strokefont.as"
#include "lib/preloader.as"
#include "lib/shapes.as"

// A row of dots that light up one after another as the movie loads; the
// next dot to light pulses, so the preloader looks alive while it waits.
var dotColor = twColor("Bg.Color", 0x99CC33);
var backColor = twColor("Bg.BgColor", 0x222222);
var count = Math.round(Math.max(3, Math.min(16, twNum("Bg.DotCount", 8))));
var square = twText("Bg.DotShape", "Circle").toLowerCase() == "square";
var showText = twBool("Bg.ShowText", true);

var W = 200, H = 50;
var size = Math.min(10, Math.floor(180 / count * 0.6));
var pitch = 180 / count;
var rowY = showText ? 34 : 25;

this.beginFill(backColor, 100);
twRect(this, 0, 0, W, H);
this.endFill();

function dot(clip, x, y, r, alpha) {
  clip.beginFill(dotColor, alpha);
  if (square) twRect(clip, x - r, y - r, 2 * r, 2 * r);
  else twCircle(clip, x, y, r);
  clip.endFill();
}

var dots = this.createEmptyMovieClip("dots", 1);
var caption = this.createEmptyMovieClip("caption", 2);
var pulse = 0;
var lastShare = 0;

function drawDots(share) {
  lastShare = share;
  dots.clear();
  var lit = Math.floor(share * count + 0.0001);
  for (var i = 0; i < count; i++) {
    var x = 10 + pitch * (i + 0.5);
    if (i < lit) dot(dots, x, rowY, size / 2, 100);
    else if (i == lit) dot(dots, x, rowY, size / 2, 25 + 35 * (1 + Math.sin(pulse)) / 2);
    else dot(dots, x, rowY, size / 2, 20);
  }
  if (showText) {
    caption.clear();
    caption.lineStyle(2, dotColor, 100);
    twStrokeText(caption, "LOADING", 10 + pitch / 2 - size / 2, 8, 2);
    var percent = twPercentText(share);
    twStrokeText(caption, percent, 190 - pitch / 2 + size / 2 - twStrokeWidth(percent, 2), 8, 2);
  }
}

// The pulse needs a redraw every frame, also when the share stays put.
this.createEmptyMovieClip("ticker", 3).onEnterFrame = function () {
  pulse += 0.5;
  drawDots(lastShare);
};

twRunPreloader(this, twNum("Bg.MinFrames", 24), drawDots);
