ParamsDefine = "<ParamsDefine><Txt.EnterFrames type=\"integer\" caption=\"Entrance frames\" default=\"12\" min=\"1\" max=\"200\"/><Txt.LeaveFrames type=\"integer\" caption=\"Exit frames\" default=\"12\" min=\"1\" max=\"200\"/><Txt.FadeBy type=\"selection\" caption=\"Fade piece by piece\" default=\"lines\" selection=\"lines;letters\"/><Txt.EnterEase type=\"selection\" caption=\"Entrance easing\" default=\"out\" selection=\"linear;in;out;inout\"/><Txt.LeaveEase type=\"selection\" caption=\"Exit easing\" default=\"in\" selection=\"linear;in;out;inout\"/><Txt.TextAlign type=\"selection\" caption=\"Text alignment\" default=\"center\" selection=\"left;center;right\"/></ParamsDefine>";
#include "lib/core.as"
#include "lib/text.as"

// The text fades in, line after line or letter after letter, and fades out
// the same way.
var byLetters = twText("Txt.FadeBy", "lines").toLowerCase() == "letters";
var layout = twtLayout(this, {perChar: byLetters, align: twText("Txt.TextAlign", "center")});
var enterEase = twText("Txt.EnterEase", "out").toLowerCase();
var leaveEase = twText("Txt.LeaveEase", "in").toLowerCase();
var window = byLetters ? 0.4 : 1;

function fadeIn(u, q) { twtPlace(u, 0, 0, 1, 1, 0, twEase(enterEase, q)); }
function fadeOut(u, q) { twtPlace(u, 0, 0, 1, 1, 0, 1 - twEase(leaveEase, q)); }
var enter = function(p) { twtEachUnit(layout, p, false, window, fadeIn); };
var leave = function(p) { twtEachUnit(layout, p, true, window, fadeOut); };
twtRun(this, twNum("Txt.EnterFrames", 12), twNum("Txt.LeaveFrames", 12), enter, leave);
