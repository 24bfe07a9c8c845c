//@ picture PicZoom
ParamsDefine = "<ParamsDefine><Img.EffectName type=\"const\" caption=\"Effect name\" default=\"PicZoom\"/><Img.EnterFrames type=\"integer\" caption=\"Entrance frames\" default=\"12\" min=\"1\" max=\"200\"/><Img.LeaveFrames type=\"integer\" caption=\"Exit frames\" default=\"12\" min=\"1\" max=\"200\"/><Img.ZoomIn type=\"integer\" caption=\"Starting size (%)\" default=\"20\" min=\"0\" max=\"1000\"/><Img.ZoomOut type=\"integer\" caption=\"Ending size (%)\" default=\"250\" min=\"0\" max=\"1000\"/><Img.ZoomFade type=\"bool\" caption=\"Fade while zooming\" default=\"true\"/><Img.EnterEase type=\"selection\" caption=\"Entrance easing\" default=\"back\" selection=\"linear;in;out;inout;back;bounce;elastic\"/><Img.LeaveEase type=\"selection\" caption=\"Exit easing\" default=\"in\" selection=\"linear;in;out;inout;back;bounce;elastic\"/></ParamsDefine>";
#include "lib/core.as"
#include "lib/picture.as"

// The picture grows (or shrinks) from its starting size to its own size
// about its centre, and on leaving goes on to the ending size.
var zoomIn = twPictureClamp(twNum("Img.ZoomIn", 20), 0, 1000, 20);
var zoomOut = twPictureClamp(twNum("Img.ZoomOut", 250), 0, 1000, 250);
var zoomFade = twBool("Img.ZoomFade", true);
var enterEase = twPictureEase("Img.EnterEase", "back");
var leaveEase = twPictureEase("Img.LeaveEase", "in");

function entering(p) {
    var e = twEase(enterEase, p);
    this._xscale = this._yscale = zoomIn + (100 - zoomIn) * e;
    this._alpha = zoomFade ? this.homeAlpha * twPictureClamp(e, 0, 1, 1) : this.homeAlpha;
}

function leaving(p) {
    var e = twEase(leaveEase, p);
    this._xscale = this._yscale = Math.max(0, 100 + (zoomOut - 100) * e);
    this._alpha = zoomFade ? this.homeAlpha * (1 - twPictureClamp(e, 0, 1, 1)) : this.homeAlpha;
}

var picture = twPictureHolder(this, 1, "PicZoom");
twPictureRun(picture, entering, leaving);
