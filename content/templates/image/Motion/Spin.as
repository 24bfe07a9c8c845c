//@ picture PicSpin
ParamsDefine = "<ParamsDefine><Img.EffectName type=\"const\" caption=\"Effect name\" default=\"PicSpin\"/><Img.EnterFrames type=\"integer\" caption=\"Spin-in frames\" default=\"18\" min=\"1\" max=\"200\"/><Img.LeaveFrames type=\"integer\" caption=\"Spin-out frames\" default=\"18\" min=\"1\" max=\"200\"/><Img.SpinTurns type=\"integer\" caption=\"Turns\" default=\"1\" min=\"0\" max=\"20\"/><Img.SpinWay type=\"selection\" caption=\"Spin direction\" default=\"Clockwise\" selection=\"Clockwise;Counter-clockwise\"/><Img.SpinGrow type=\"bool\" caption=\"Grow while spinning\" default=\"true\"/><Img.EnterEase type=\"selection\" caption=\"Spin-in easing\" default=\"out\" selection=\"linear;in;out;inout;back;bounce;elastic\"/><Img.LeaveEase type=\"selection\" caption=\"Spin-out easing\" default=\"in\" selection=\"linear;in;out;inout;back;bounce;elastic\"/></ParamsDefine>";
#include "lib/core.as"
#include "lib/picture.as"

// The picture turns about its centre as it comes in, growing from nothing,
// and turns on the same way as it goes.
var turns = Math.round(twPictureClamp(twNum("Img.SpinTurns", 1), 0, 20, 1));
var way = twText("Img.SpinWay", "Clockwise") == "Counter-clockwise" ? -1 : 1;
var spinGrow = twBool("Img.SpinGrow", true);
var enterEase = twPictureEase("Img.EnterEase", "out");
var leaveEase = twPictureEase("Img.LeaveEase", "in");

function entering(p) {
    var e = twEase(enterEase, p);
    this._rotation = -way * 360 * turns * (1 - e);
    this._xscale = this._yscale = spinGrow ? Math.max(0, 100 * e) : 100;
    this._alpha = this.homeAlpha * twPictureClamp(e * 2, 0, 1, 1);
}

function leaving(p) {
    var e = twEase(leaveEase, p);
    this._rotation = way * 360 * turns * e;
    this._xscale = this._yscale = spinGrow ? Math.max(0, 100 * (1 - e)) : 100;
    this._alpha = this.homeAlpha * twPictureClamp((1 - e) * 2, 0, 1, 1);
}

var picture = twPictureHolder(this, 1, "PicSpin");
twPictureRun(picture, entering, leaving);
