//@ picture PicFade
ParamsDefine = "<ParamsDefine><Img.EffectName type=\"const\" caption=\"Effect name\" default=\"PicFade\"/><Img.EnterFrames type=\"integer\" caption=\"Fade-in frames\" default=\"12\" min=\"1\" max=\"200\"/><Img.LeaveFrames type=\"integer\" caption=\"Fade-out frames\" default=\"12\" min=\"1\" max=\"200\"/><Img.EnterEase type=\"selection\" caption=\"Fade-in easing\" default=\"inout\" selection=\"linear;in;out;inout;back;bounce;elastic\"/><Img.LeaveEase type=\"selection\" caption=\"Fade-out easing\" default=\"inout\" selection=\"linear;in;out;inout;back;bounce;elastic\"/></ParamsDefine>";
#include "lib/core.as"
#include "lib/picture.as"

// The picture fades in where the builder placed it and fades out again.
var enterEase = twPictureEase("Img.EnterEase", "inout");
var leaveEase = twPictureEase("Img.LeaveEase", "inout");

function entering(p) {
    this._alpha = this.homeAlpha * twPictureClamp(twEase(enterEase, p), 0, 1, 1);
}

function leaving(p) {
    this._alpha = this.homeAlpha * (1 - twPictureClamp(twEase(leaveEase, p), 0, 1, 1));
}

var picture = twPictureHolder(this, 1, "PicFade");
twPictureRun(picture, entering, leaving);
