//@ picture PicKenBurns
ParamsDefine = "<ParamsDefine><Img.EffectName type=\"const\" caption=\"Effect name\" default=\"PicKenBurns\"/><Img.EnterFrames type=\"integer\" caption=\"Fade-in frames\" default=\"12\" min=\"1\" max=\"200\"/><Img.LeaveFrames type=\"integer\" caption=\"Fade-out frames\" default=\"12\" min=\"1\" max=\"200\"/><Img.PanDirection type=\"selection\" caption=\"Pan direction\" default=\"Left to right\" selection=\"Left to right;Right to left;Top to bottom;Bottom to top;Top left to bottom right;Bottom right to top left;Centre\"/><Img.ZoomStart type=\"integer\" caption=\"Starting zoom (%)\" default=\"115\" min=\"100\" max=\"400\"/><Img.ZoomEnd type=\"integer\" caption=\"Ending zoom (%)\" default=\"140\" min=\"100\" max=\"400\"/><Img.PanSeconds type=\"integer\" caption=\"Pan length when the picture stays (s)\" default=\"10\" min=\"1\" max=\"600\"/><Img.EnterEase type=\"selection\" caption=\"Fade-in easing\" default=\"inout\" selection=\"linear;in;out;inout;back;bounce;elastic\"/><Img.LeaveEase type=\"selection\" caption=\"Fade-out easing\" default=\"inout\" selection=\"linear;in;out;inout;back;bounce;elastic\"/></ParamsDefine>";
#include "lib/core.as"
#include "lib/picture.as"

// The picture stays in its own frame while the view inside it slowly zooms
// and pans across it, over the whole time the stage shows; it fades in and
// out at the ends.
var pan = twText("Img.PanDirection", "Left to right");
var zoomStart = twPictureClamp(twNum("Img.ZoomStart", 115), 100, 400, 115) / 100;
var zoomEnd = twPictureClamp(twNum("Img.ZoomEnd", 140), 100, 400, 140) / 100;
var enterEase = twPictureEase("Img.EnterEase", "inout");
var leaveEase = twPictureEase("Img.LeaveEase", "inout");

// The way the view travels: +1 towards the right (or bottom), -1 back.
var panX = 0, panY = 0;
if (pan == "Left to right" || pan == "Top left to bottom right") panX = 1;
if (pan == "Right to left" || pan == "Bottom right to top left") panX = -1;
if (pan == "Top to bottom" || pan == "Top left to bottom right") panY = 1;
if (pan == "Bottom to top" || pan == "Bottom right to top left") panY = -1;

// The pan lasts the stage's whole visible life; a stage that stays for good
// (static, or keeping its picture) pans over Img.PanSeconds and then rests.
var enterFrames = twPictureFrames("Img.EnterFrames", 12);
var leaveFrames = twPictureFrames("Img.LeaveFrames", 12);
var stay = twNum("Img.DurationFrame", 24);
if (isNaN(stay) || stay < 0 || twBool("Img.KeepText", false))
    stay = Math.round(twPictureClamp(twNum("Img.PanSeconds", 10), 1, 600, 10) * twNum("Movie.FPS", 24));
var panFrames = Math.max(1, enterFrames + stay + leaveFrames);

var picture = twPictureHolder(this, 1, "PicKenBurns");
// A picture with see-through parts (a cut-out, or the corners of a turned
// picture) has no frame to crop to: its mask would cut the shape straight
// along the rectangle's edges. Such a picture moves whole instead, growing
// from its own size by the zoom's ratio and drifting the same way.
var seeThrough = twBool("Img.SeeThrough", false);
if (!seeThrough) twPictureMask(picture);

// Zooms the picture inside its mask to the zoom of fraction t of the pan and
// moves it so that the view has gone that far; the picture always covers the
// mask, so no edge ever shows.
function panTo(holder, t) {
    var image = holder.picture;
    if (image == undefined) return;
    var z = zoomStart + (zoomEnd - zoomStart) * t;
    if (seeThrough) z = z / zoomStart;
    var roomX = (z - 1) * holder.picW / 2, roomY = (z - 1) * holder.picH / 2;
    image._xscale = image._yscale = z * 100;
    image._x = -holder.picW * z / 2 + panX * roomX * (1 - 2 * t);
    image._y = -holder.picH * z / 2 + panY * roomY * (1 - 2 * t);
}

panTo(picture, 0);
var panned = 0;
this.onEnterFrame = function() {
    if (!picture._visible || panned >= panFrames) return;
    panned++;
    panTo(picture, panned / panFrames);
};

function entering(p) {
    this._alpha = this.homeAlpha * twPictureClamp(twEase(enterEase, p), 0, 1, 1);
}

function leaving(p) {
    this._alpha = this.homeAlpha * (1 - twPictureClamp(twEase(leaveEase, p), 0, 1, 1));
}

twPictureRun(picture, entering, leaving);
