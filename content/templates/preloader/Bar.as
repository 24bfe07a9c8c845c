//@ stage 240 60 24
ParamsDefine = "<ParamsDefine><Bg.Color type=\"color\" caption=\"Bar colour\" default=\"0xFF9900\"/><Bg.BgColor type=\"color\" caption=\"Background colour\" default=\"0x000000\"/><Bg.FrameColor type=\"color\" caption=\"Frame colour\" default=\"0x808080\"/><Bg.MinFrames type=\"integer\" caption=\"Shown at least (frames)\" default=\"24\" min=\"0\" max=\"1200\"/><Bg.ShowText type=\"bool\" caption=\"Show caption\" default=\"true\"/></ParamsDefine>";
#include "lib/core.as"
#include "lib/strokefont.as"
#include "lib/preloader.as"
#include "lib/shapes.as"

// A progress bar in a frame, with "LOADING" and the percentage above it.
var barColor = twColor("Bg.Color", 0xFF9900);
var backColor = twColor("Bg.BgColor", 0x000000);
var frameColor = twColor("Bg.FrameColor", 0x808080);
var showText = twBool("Bg.ShowText", true);

var W = 240, H = 60;
var barLeft = 20, barTop = 36, barWidth = 200, barHeight = 12;

this.beginFill(backColor, 100);
twRect(this, 0, 0, W, H);
this.endFill();
this.lineStyle(1, frameColor, 100);
twRect(this, barLeft - 3, barTop - 3, barWidth + 6, barHeight + 6);

var bar = this.createEmptyMovieClip("bar", 1);
var caption = this.createEmptyMovieClip("caption", 2);
bar._x = barLeft;
bar._y = barTop;

function drawBar(share) {
  bar.clear();
  var w = Math.round(barWidth * share);
  if (w > 0) {
    bar.beginFill(barColor, 100);
    twRect(bar, 0, 0, w, barHeight);
    bar.endFill();
    // A lighter stripe along the top gives the bar some depth.
    bar.beginFill(0xFFFFFF, 30);
    twRect(bar, 0, 0, w, barHeight / 3);
    bar.endFill();
  }
  if (showText) {
    caption.clear();
    caption.lineStyle(2, barColor, 100);
    twStrokeText(caption, "LOADING", barLeft - 2, 12, 2);
    var percent = twPercentText(share);
    twStrokeText(caption, percent, barLeft + barWidth + 2 - twStrokeWidth(percent, 2), 12, 2);
  }
}

twRunPreloader(this, twNum("Bg.MinFrames", 24), drawBar);
