ParamsDefine = "<ParamsDefine><Txt.EnterFrames type=\"integer\" caption=\"Entrance frames\" default=\"24\" min=\"1\" max=\"200\"/><Txt.LeaveFrames type=\"integer\" caption=\"Exit frames\" default=\"18\" min=\"1\" max=\"200\"/><Txt.LetterTime type=\"integer\" caption=\"Time of one letter (%)\" default=\"30\" min=\"1\" max=\"100\"/><Txt.LetterStyle type=\"selection\" caption=\"Letter movement\" default=\"pop\" selection=\"pop;drop;rise;fade\"/><Txt.TextAlign type=\"selection\" caption=\"Text alignment\" default=\"center\" selection=\"left;center;right\"/></ParamsDefine>";
#include "lib/core.as"
#include "lib/text.as"

// One letter after another pops up (or drops in, rises, fades in), each
// taking a share of its line's time; on the exit they go the same way, one
// after another, from the first letter or the last.
var layout = twtLayout(this, {perChar: true, align: twText("Txt.TextAlign", "center")});
var share = Math.min(100, Math.max(1, twNum("Txt.LetterTime", 30))) / 100;
var movement = twText("Txt.LetterStyle", "pop").toLowerCase();

function letterIn(u, q) {
    var e = twEase("out", q);
    var a = q <= 0 ? 0 : Math.min(1, q * 2);
    var lift = Math.max(20, u.h);
    if (movement == "pop") {
        var s = twEase("back", q);
        twtPlace(u, 0, 0, s, s, 0, a);
    } else if (movement == "drop") {
        twtPlace(u, 0, -lift * (1 - e), 1, 1, 0, a);
    } else if (movement == "rise") {
        twtPlace(u, 0, lift * (1 - e), 1, 1, 0, a);
    } else {
        twtPlace(u, 0, 0, 1, 1, 0, e);
    }
}
function letterOut(u, q) {
    var e = twEase("in", q);
    var lift = Math.max(20, u.h);
    if (movement == "pop") {
        twtPlace(u, 0, 0, 1 - e, 1 - e, 0, 1 - q * q);
    } else if (movement == "drop") {
        twtPlace(u, 0, lift * e, 1, 1, 0, 1 - q);
    } else if (movement == "rise") {
        twtPlace(u, 0, -lift * e, 1, 1, 0, 1 - q);
    } else {
        twtPlace(u, 0, 0, 1, 1, 0, 1 - e);
    }
}
var enter = function(p) { twtEachUnit(layout, p, false, share, letterIn); };
var leave = function(p) { twtEachUnit(layout, p, true, share, letterOut); };
twtRun(this, twNum("Txt.EnterFrames", 24), twNum("Txt.LeaveFrames", 18), enter, leave);
