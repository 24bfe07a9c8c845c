//@ picture PicWipe
ParamsDefine = "<ParamsDefine><Img.EffectName type=\"const\" caption=\"Effect name\" default=\"PicWipe\"/><Img.EnterFrames type=\"integer\" caption=\"Wipe-in frames\" default=\"16\" min=\"1\" max=\"200\"/><Img.LeaveFrames type=\"integer\" caption=\"Wipe-out frames\" default=\"16\" min=\"1\" max=\"200\"/><Img.WipeIn type=\"selection\" caption=\"Wipe-in direction\" default=\"Left to right\" selection=\"Left to right;Right to left;Top to bottom;Bottom to top;From the centre\"/><Img.WipeOut type=\"selection\" caption=\"Wipe-out direction\" default=\"Left to right\" selection=\"Left to right;Right to left;Top to bottom;Bottom to top;To the centre\"/><Img.EnterEase type=\"selection\" caption=\"Wipe-in easing\" default=\"inout\" selection=\"linear;in;out;inout;back;bounce;elastic\"/><Img.LeaveEase type=\"selection\" caption=\"Wipe-out easing\" default=\"inout\" selection=\"linear;in;out;inout;back;bounce;elastic\"/></ParamsDefine>";
#include "lib/core.as"
#include "lib/picture.as"

// A mask over the picture uncovers it edge first in the chosen direction,
// and on leaving covers it again the same way.
var wipeIn = twText("Img.WipeIn", "Left to right");
var wipeOut = twText("Img.WipeOut", "Left to right");
var enterEase = twPictureEase("Img.EnterEase", "inout");
var leaveEase = twPictureEase("Img.LeaveEase", "inout");

// Shows the part of the picture between fractions a and b (0..1) of its
// width (or height, for a vertical wipe; both for a wipe about the centre).
function wipeShow(holder, direction, a, b) {
    var mask = holder.twMask;
    var w = holder.picW, h = holder.picH;
    var vertical = direction.indexOf("Top") == 0 || direction.indexOf("Bottom") == 0;
    var centre = direction.indexOf("centre") >= 0;
    mask._xscale = mask._yscale = 100;
    mask._x = mask._y = 0;
    if (centre || !vertical) {
        mask._xscale = (b - a) * 100;
        mask._x = -w / 2 + (a + b) / 2 * w;
    }
    if (centre || vertical) {
        mask._yscale = (b - a) * 100;
        mask._y = -h / 2 + (a + b) / 2 * h;
    }
}

// The visible span of a wipe that has gone fraction e of its way: entering,
// it grows from the edge the wipe starts at; leaving, the covered part grows
// from that edge.
function wipeStep(holder, direction, e, entering) {
    e = twPictureClamp(e, 0, 1, 1);
    if (direction.indexOf("centre") >= 0) {
        var half = entering ? e / 2 : (1 - e) / 2;
        wipeShow(holder, direction, 0.5 - half, 0.5 + half);
        return;
    }
    var forward = direction == "Left to right" || direction == "Top to bottom";
    if (entering) {
        if (forward) wipeShow(holder, direction, 0, e);
        else wipeShow(holder, direction, 1 - e, 1);
    } else {
        if (forward) wipeShow(holder, direction, e, 1);
        else wipeShow(holder, direction, 0, 1 - e);
    }
}

var picture = twPictureHolder(this, 1, "PicWipe");
twPictureMask(picture);
wipeStep(picture, wipeIn, 0, true);
function entering(p) {
    wipeStep(this, wipeIn, twEase(enterEase, p), true);
}

function leaving(p) {
    wipeStep(this, wipeOut, twEase(leaveEase, p), false);
}

twPictureRun(picture, entering, leaving);
