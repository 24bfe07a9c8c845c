ParamsDefine = "<ParamsDefine><Txt.EnterFrames type=\"integer\" caption=\"Entrance frames\" default=\"15\" min=\"1\" max=\"200\"/><Txt.LeaveFrames type=\"integer\" caption=\"Exit frames\" default=\"12\" min=\"1\" max=\"200\"/><Txt.FromSide type=\"selection\" caption=\"Enter from\" default=\"left\" selection=\"left;right;top;bottom\"/><Txt.ToSide type=\"selection\" caption=\"Leave towards\" default=\"right\" selection=\"left;right;top;bottom\"/><Txt.EnterEase type=\"selection\" caption=\"Entrance easing\" default=\"back\" selection=\"linear;in;out;inout;back;bounce;elastic\"/><Txt.LeaveEase type=\"selection\" caption=\"Exit easing\" default=\"in\" selection=\"linear;in;out;inout;back\"/><Txt.FadeFly type=\"bool\" caption=\"Fade while flying\" default=\"true\"/><Txt.TextAlign type=\"selection\" caption=\"Text alignment\" default=\"center\" selection=\"left;center;right\"/></ParamsDefine>";
#include "lib/core.as"
#include "lib/text.as"

// Each line flies in from one side of the movie and out towards another.
var layout = twtLayout(this, {perChar: false, align: twText("Txt.TextAlign", "center")});
var enterEase = twText("Txt.EnterEase", "back").toLowerCase();
var leaveEase = twText("Txt.LeaveEase", "in").toLowerCase();
var fade = twBool("Txt.FadeFly", true);
var fromSide = sideVector(twText("Txt.FromSide", "left"));
var toSide = sideVector(twText("Txt.ToSide", "right"));

// Far enough that a line starts and ends wholly outside the movie.
function sideVector(side) {
    var s = String(side).toLowerCase();
    var across = twNum("Movie.Width", 400) + layout.w;
    var down = twNum("Movie.Height", 300) + layout.h;
    if (s == "right") return {x: across, y: 0};
    if (s == "top") return {x: 0, y: -down};
    if (s == "bottom") return {x: 0, y: down};
    return {x: -across, y: 0};
}

function flyIn(ln, q) {
    var e = 1 - twEase(enterEase, q);
    twtPlaceLine(ln, fromSide.x * e, fromSide.y * e, 1, 1, 0, q <= 0 ? 0 : (fade ? Math.min(1, q * 1.5) : 1));
}
function flyOut(ln, q) {
    var e = twEase(leaveEase, q);
    twtPlaceLine(ln, toSide.x * e, toSide.y * e, 1, 1, 0, q >= 1 ? 0 : (fade ? 1 - q : 1));
}
var enter = function(p) { twtEachLine(layout, p, false, flyIn); };
var leave = function(p) { twtEachLine(layout, p, true, flyOut); };
twtRun(this, twNum("Txt.EnterFrames", 15), twNum("Txt.LeaveFrames", 12), enter, leave);
