ParamsDefine = "<ParamsDefine><Txt.EnterFrames type=\"integer\" caption=\"Entrance frames\" default=\"12\" min=\"1\" max=\"200\"/><Txt.LeaveFrames type=\"integer\" caption=\"Exit frames\" default=\"12\" min=\"1\" max=\"200\"/><Txt.StartScale type=\"integer\" caption=\"Size at the start (%)\" default=\"400\" min=\"0\" max=\"2000\"/><Txt.EndScale type=\"integer\" caption=\"Size at the end (%)\" default=\"0\" min=\"0\" max=\"2000\"/><Txt.ZoomBy type=\"selection\" caption=\"Zoom piece by piece\" default=\"lines\" selection=\"lines;letters\"/><Txt.EnterEase type=\"selection\" caption=\"Entrance easing\" default=\"out\" selection=\"linear;in;out;inout;back;elastic\"/><Txt.LeaveEase type=\"selection\" caption=\"Exit easing\" default=\"in\" selection=\"linear;in;out;inout;back\"/><Txt.TextAlign type=\"selection\" caption=\"Text alignment\" default=\"center\" selection=\"left;center;right\"/></ParamsDefine>";
#include "lib/core.as"
#include "lib/text.as"

// The text grows (or shrinks) into place from a size of its own, fading in,
// and zooms away to another size as it fades out.
var byLetters = twText("Txt.ZoomBy", "lines").toLowerCase() == "letters";
var layout = twtLayout(this, {perChar: byLetters, align: twText("Txt.TextAlign", "center")});
var enterEase = twText("Txt.EnterEase", "out").toLowerCase();
var leaveEase = twText("Txt.LeaveEase", "in").toLowerCase();
var startScale = Math.max(0, twNum("Txt.StartScale", 400)) / 100;
var endScale = Math.max(0, twNum("Txt.EndScale", 0)) / 100;

function zoomInScale(q) { return startScale + (1 - startScale) * twEase(enterEase, q); }
function zoomOutScale(q) { return 1 + (endScale - 1) * twEase(leaveEase, q); }
function zoomInUnit(u, q) { var s = zoomInScale(q); twtPlace(u, 0, 0, s, s, 0, Math.min(1, q * 1.5)); }
function zoomOutUnit(u, q) { var s = zoomOutScale(q); twtPlace(u, 0, 0, s, s, 0, 1 - q); }
function zoomInLine(ln, q) { var s = zoomInScale(q); twtPlaceLine(ln, 0, 0, s, s, 0, Math.min(1, q * 1.5)); }
function zoomOutLine(ln, q) { var s = zoomOutScale(q); twtPlaceLine(ln, 0, 0, s, s, 0, 1 - q); }

var enter = function(p) {
    if (byLetters) twtEachUnit(layout, p, false, 0.5, zoomInUnit);
    else twtEachLine(layout, p, false, zoomInLine);
};
var leave = function(p) {
    if (byLetters) twtEachUnit(layout, p, true, 0.5, zoomOutUnit);
    else twtEachLine(layout, p, true, zoomOutLine);
};
twtRun(this, twNum("Txt.EnterFrames", 12), twNum("Txt.LeaveFrames", 12), enter, leave);
