ParamsDefine = "<ParamsDefine><Txt.EnterFrames type=\"integer\" caption=\"Entrance frames\" default=\"18\" min=\"1\" max=\"200\"/><Txt.LeaveFrames type=\"integer\" caption=\"Exit frames\" default=\"12\" min=\"1\" max=\"200\"/><Txt.Angle type=\"integer\" caption=\"Turn (degrees)\" default=\"360\" min=\"-3600\" max=\"3600\"/><Txt.RotateBy type=\"selection\" caption=\"Turning piece\" default=\"letters\" selection=\"letters;lines\"/><Txt.Grow type=\"bool\" caption=\"Grow while turning\" default=\"true\"/><Txt.EnterEase type=\"selection\" caption=\"Entrance easing\" default=\"out\" selection=\"linear;in;out;inout;back;elastic\"/><Txt.LeaveEase type=\"selection\" caption=\"Exit easing\" default=\"in\" selection=\"linear;in;out;inout;back\"/><Txt.TextAlign type=\"selection\" caption=\"Text alignment\" default=\"center\" selection=\"left;center;right\"/></ParamsDefine>";
#include "lib/core.as"
#include "lib/text.as"

// Letters (or lines) spin into place around their own centres, growing from
// nothing, and spin away on the exit.
var byLines = twText("Txt.RotateBy", "letters").toLowerCase() == "lines";
var layout = twtLayout(this, {perChar: !byLines, align: twText("Txt.TextAlign", "center")});
var enterEase = twText("Txt.EnterEase", "out").toLowerCase();
var leaveEase = twText("Txt.LeaveEase", "in").toLowerCase();
var angle = twNum("Txt.Angle", 360);
var grow = twBool("Txt.Grow", true);

function turnInUnit(u, q) {
    var e = twEase(enterEase, q);
    var s = grow ? e : 1;
    twtPlace(u, 0, 0, s, s, -angle * (1 - e), Math.min(1, q * 1.5));
}
function turnOutUnit(u, q) {
    var e = twEase(leaveEase, q);
    var s = grow ? 1 - e : 1;
    twtPlace(u, 0, 0, s, s, angle * e, 1 - q);
}
function turnInLine(ln, q) {
    var e = twEase(enterEase, q);
    var s = grow ? e : 1;
    twtPlaceLine(ln, 0, 0, s, s, -angle * (1 - e), Math.min(1, q * 1.5));
}
function turnOutLine(ln, q) {
    var e = twEase(leaveEase, q);
    var s = grow ? 1 - e : 1;
    twtPlaceLine(ln, 0, 0, s, s, angle * e, 1 - q);
}

var enter = function(p) {
    if (byLines) twtEachLine(layout, p, false, turnInLine);
    else twtEachUnit(layout, p, false, 0.5, turnInUnit);
};
var leave = function(p) {
    if (byLines) twtEachLine(layout, p, true, turnOutLine);
    else twtEachUnit(layout, p, true, 0.5, turnOutUnit);
};
twtRun(this, twNum("Txt.EnterFrames", 18), twNum("Txt.LeaveFrames", 12), enter, leave);
