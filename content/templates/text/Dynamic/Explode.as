ParamsDefine = "<ParamsDefine><Txt.EnterFrames type=\"integer\" caption=\"Entrance frames\" default=\"18\" min=\"1\" max=\"200\"/><Txt.LeaveFrames type=\"integer\" caption=\"Exit frames\" default=\"18\" min=\"1\" max=\"200\"/><Txt.Spread type=\"integer\" caption=\"Spread (pixels)\" default=\"200\" min=\"0\" max=\"3000\"/><Txt.Spin type=\"integer\" caption=\"Spin (degrees)\" default=\"270\" min=\"0\" max=\"3600\"/><Txt.Gather type=\"bool\" caption=\"Gather on the entrance\" default=\"true\"/><Txt.Seed type=\"integer\" caption=\"Scatter pattern\" default=\"7\" min=\"1\" max=\"9999\"/><Txt.TextAlign type=\"selection\" caption=\"Text alignment\" default=\"center\" selection=\"left;center;right\"/></ParamsDefine>";
#include "lib/core.as"
#include "lib/text.as"

// The letters fly together from scattered places to form the text, and burst
// apart in every direction on the exit, spinning and fading.
var layout = twtLayout(this, {perChar: true, align: twText("Txt.TextAlign", "center")});
var spread = Math.max(0, twNum("Txt.Spread", 200));
var spin = twNum("Txt.Spin", 270);
var gather = twBool("Txt.Gather", true);
var scatter = twtRandom(twNum("Txt.Seed", 7));
for (var i = 0; i < layout.units.length; i++) {
    var u = layout.units[i];
    var a = scatter.next() * Math.PI * 2;
    var d = spread * (0.5 + scatter.next());
    u.ex = Math.cos(a) * d;
    u.ey = Math.sin(a) * d;
    u.es = (scatter.next() * 2 - 1) * spin;
    u.ez = 0.5 + scatter.next() * 1.5;
}

function gatherUnit(u, q) {
    if (gather) {
        var e = twEase("out", q);
        var s = u.ez + (1 - u.ez) * e;
        twtPlace(u, u.ex * (1 - e), u.ey * (1 - e), s, s, u.es * (1 - e), Math.min(1, q * 2));
    } else {
        var g = twEase("back", q);
        twtPlace(u, 0, 0, g, g, 0, Math.min(1, q * 2));
    }
}
function burstUnit(u, q) {
    var e = twEase("out", q);
    var s = 1 + (u.ez - 1) * e;
    twtPlace(u, u.ex * e, u.ey * e, s, s, u.es * e, 1 - q * q);
}
var enter = function(p) { twtEachUnit(layout, p, false, 0.8, gatherUnit); };
var leave = function(p) { twtEachUnit(layout, p, true, 0.8, burstUnit); };
twtRun(this, twNum("Txt.EnterFrames", 18), twNum("Txt.LeaveFrames", 18), enter, leave);
