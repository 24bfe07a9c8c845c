//@ picture PicSlide
ParamsDefine = "<ParamsDefine><Img.EffectName type=\"const\" caption=\"Effect name\" default=\"PicSlide\"/><Img.EnterFrames type=\"integer\" caption=\"Slide-in frames\" default=\"14\" min=\"1\" max=\"200\"/><Img.LeaveFrames type=\"integer\" caption=\"Slide-out frames\" default=\"14\" min=\"1\" max=\"200\"/><Img.SlideIn type=\"selection\" caption=\"Slide in from\" default=\"Left\" selection=\"Left;Right;Top;Bottom\"/><Img.SlideOut type=\"selection\" caption=\"Slide out to\" default=\"Right\" selection=\"Left;Right;Top;Bottom\"/><Img.SlideFade type=\"bool\" caption=\"Fade while sliding\" default=\"false\"/><Img.SlideBlur type=\"bool\" caption=\"Motion blur\" default=\"true\"/><Img.EnterEase type=\"selection\" caption=\"Slide-in easing\" default=\"out\" selection=\"linear;in;out;inout;back;bounce;elastic\"/><Img.LeaveEase type=\"selection\" caption=\"Slide-out easing\" default=\"in\" selection=\"linear;in;out;inout;back;bounce;elastic\"/></ParamsDefine>";
#include "lib/core.as"
#include "lib/picture.as"

// The picture slides in from beyond one edge of the movie to where the
// builder placed it, and leaves beyond another edge.
var slideIn = twText("Img.SlideIn", "Left");
var slideOut = twText("Img.SlideOut", "Right");
var slideFade = twBool("Img.SlideFade", false);
var slideBlur = twBool("Img.SlideBlur", true);
var enterEase = twPictureEase("Img.EnterEase", "out");
var leaveEase = twPictureEase("Img.LeaveEase", "in");
var movieW = twNum("Movie.Width", 400);
var movieH = twNum("Movie.Height", 300);

// Where the holder's centre stands when the whole picture lies just beyond
// the named edge of the movie.
function slideAway(holder, edge) {
    var at = {x: holder.homeX, y: holder.homeY};
    if (edge == "Left") at.x = -holder.picW / 2;
    else if (edge == "Right") at.x = movieW + holder.picW / 2;
    else if (edge == "Top") at.y = -holder.picH / 2;
    else if (edge == "Bottom") at.y = movieH + holder.picH / 2;
    return at;
}

// Moves the holder, blurred along the way it went since the last frame by
// half that distance, as a camera would smear it; sharp once it rests.
function slideTo(holder, x, y, resting) {
    if (slideBlur) {
        var bx = resting ? 0 : Math.min(32, Math.round(Math.abs(x - holder._x) / 2));
        var by = resting ? 0 : Math.min(32, Math.round(Math.abs(y - holder._y) / 2));
        holder.filters = (bx + by > 0) ? [new flash.filters.BlurFilter(bx, by, 1)] : [];
    }
    holder._x = x;
    holder._y = y;
}

var picture = twPictureHolder(this, 1, "PicSlide");
var start = slideAway(picture, slideIn);
var finish = slideAway(picture, slideOut);
picture._x = start.x;
picture._y = start.y;
function entering(p) {
    var e = twEase(enterEase, p);
    slideTo(this, start.x + (this.homeX - start.x) * e, start.y + (this.homeY - start.y) * e, p >= 1);
    this._alpha = slideFade ? this.homeAlpha * twPictureClamp(e, 0, 1, 1) : this.homeAlpha;
}

function leaving(p) {
    var e = twEase(leaveEase, p);
    slideTo(this, this.homeX + (finish.x - this.homeX) * e, this.homeY + (finish.y - this.homeY) * e, false);
    this._alpha = slideFade ? this.homeAlpha * (1 - twPictureClamp(e, 0, 1, 1)) : this.homeAlpha;
}

twPictureRun(picture, entering, leaving);
