ParamsDefine = "<ParamsDefine><Txt.EnterFrames type=\"integer\" caption=\"Entrance frames\" default=\"24\" min=\"1\" max=\"200\"/><Txt.LeaveFrames type=\"integer\" caption=\"Exit frames\" default=\"14\" min=\"1\" max=\"200\"/><Txt.DropHeight type=\"integer\" caption=\"Drop height (pixels)\" default=\"120\" min=\"5\" max=\"2000\"/><Txt.BounceBy type=\"selection\" caption=\"Bouncing piece\" default=\"letters\" selection=\"letters;lines\"/><Txt.ExitKind type=\"selection\" caption=\"Exit\" default=\"fall\" selection=\"fall;jump\"/><Txt.TextAlign type=\"selection\" caption=\"Text alignment\" default=\"center\" selection=\"left;center;right\"/></ParamsDefine>";
#include "lib/core.as"
#include "lib/text.as"

// Letters (or lines) drop from above and bounce to rest; on the exit they fall
// out of the movie, or hop once and vanish.
var byLines = twText("Txt.BounceBy", "letters").toLowerCase() == "lines";
var layout = twtLayout(this, {perChar: !byLines, align: twText("Txt.TextAlign", "center")});
var drop = twNum("Txt.DropHeight", 120);
var jump = twText("Txt.ExitKind", "fall").toLowerCase() == "jump";
var fallDepth = twNum("Movie.Height", 300) + layout.h;

function dropOffset(q) { return -drop * (1 - twEase("bounce", q)); }
function leaveOffset(q) { return jump ? -drop * 0.5 * Math.sin(Math.PI * q) : fallDepth * q * q; }
function leaveAlpha(q) { return jump ? 1 - q : 1 - q * q * q; }

function dropUnit(u, q) { twtPlace(u, 0, dropOffset(q), 1, 1, 0, q <= 0 ? 0 : Math.min(1, q * 4)); }
function leaveUnit(u, q) { twtPlace(u, 0, leaveOffset(q), 1, 1, jump ? 0 : 40 * q * q, leaveAlpha(q)); }
function dropLine(ln, q) { twtPlaceLine(ln, 0, dropOffset(q), 1, 1, 0, q <= 0 ? 0 : Math.min(1, q * 4)); }
function leaveLine(ln, q) { twtPlaceLine(ln, 0, leaveOffset(q), 1, 1, 0, leaveAlpha(q)); }

var enter = function(p) {
    if (byLines) twtEachLine(layout, p, false, dropLine);
    else twtEachUnit(layout, p, false, 0.45, dropUnit);
};
var leave = function(p) {
    if (byLines) twtEachLine(layout, p, true, leaveLine);
    else twtEachUnit(layout, p, true, 0.45, leaveUnit);
};
twtRun(this, twNum("Txt.EnterFrames", 24), twNum("Txt.LeaveFrames", 14), enter, leave);
