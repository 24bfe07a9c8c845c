//@ picture-param Bg.Image
ParamsDefine = "<ParamsDefine><Bg.Image type=\"imagefile\" caption=\"Picture\" default=\"\"/><Bg.Motion type=\"selection\" caption=\"Motion\" default=\"Drift\" selection=\"Drift;Pan across;Breathe\"/><Bg.Zoom type=\"integer\" caption=\"Zoom (percent)\" default=\"25\" min=\"0\" max=\"200\"/><Bg.CycleFrames type=\"integer\" caption=\"Cycle length (frames)\" default=\"240\" min=\"24\" max=\"4800\"/><Bg.Alpha type=\"integer\" caption=\"Opacity (percent)\" default=\"100\" min=\"0\" max=\"100\"/></ParamsDefine>";
#include "lib/core.as"
#include "lib/shapes.as"
#include "lib/backdrop.as"

// The chosen picture, always covering the whole movie, zoomed and moved
// slowly in a loop. The builder hands the picture in already stretched to
// the movie's size; the placeholder that stands in for it when no picture
// is chosen has a size of its own, so the cover scale is measured here.
var motion = twText("Bg.Motion", "Drift").toLowerCase();
var zoom = twClampNum("Bg.Zoom", 25, 0, 200) / 100;
var cycle = Math.round(twClampNum("Bg.CycleFrames", 240, 24, 4800));

var W = twMovieW, H = twMovieH;
var holder = this.createEmptyMovieClip("holder", 1);
holder._alpha = twClampNum("Bg.Alpha", 100, 0, 100);
var pic = holder.attachMovie("Bg.Image", "pic", 1);
var pw = pic._width, ph = pic._height;
var cover = pw > 0 && ph > 0 ? Math.max(W / pw, H / ph) : 1;
twMaskToMovie(this, holder, 2);

var frame = 0;
function place() {
  var t = 2 * Math.PI * frame / cycle;
  var grow, fx, fy;
  if (motion == "pan across") {
    // Zoomed in all along, gliding to the right edge and back.
    grow = 1;
    fx = 0.5 - 0.5 * Math.cos(t);
    fy = 0.5;
  } else if (motion == "breathe") {
    grow = 0.5 - 0.5 * Math.cos(t);
    fx = 0.5;
    fy = 0.5;
  } else {
    // Drift: zooms in and out while the view circles over the picture.
    grow = 0.5 - 0.5 * Math.cos(t);
    fx = 0.5 + 0.5 * Math.sin(t);
    fy = 0.5 - 0.5 * Math.cos(t);
  }
  var s = cover * (1 + zoom * grow);
  pic._xscale = pic._yscale = s * 100;
  // The spare size beyond the frame is where the view can move.
  pic._x = -(pw * s - W) * fx;
  pic._y = -(ph * s - H) * fy;
}
place();
this.onEnterFrame = function () {
  frame = (frame + 1) % cycle;
  place();
};
