ParamsDefine = "<ParamsDefine><Txt.EnterFrames type=\"integer\" caption=\"Entrance frames\" default=\"15\" min=\"1\" max=\"200\"/><Txt.LeaveFrames type=\"integer\" caption=\"Exit frames\" default=\"15\" min=\"1\" max=\"200\"/><Txt.BlurAmount type=\"integer\" caption=\"Blur strength (pixels)\" default=\"24\" min=\"2\" max=\"255\"/><Txt.BlurDirection type=\"selection\" caption=\"Blur direction\" default=\"both\" selection=\"both;horizontal;vertical\"/><Txt.BlurBy type=\"selection\" caption=\"Blur piece by piece\" default=\"lines\" selection=\"lines;letters\"/><Txt.Stretch type=\"bool\" caption=\"Stretch while blurred\" default=\"false\"/><Txt.TextAlign type=\"selection\" caption=\"Text alignment\" default=\"center\" selection=\"left;center;right\"/></ParamsDefine>";
#include "lib/core.as"
#include "lib/text.as"

// The text comes into focus out of a blur as it fades in, and blurs away on
// the exit; optionally stretched along the blur, like a fast pan.
var byLetters = twText("Txt.BlurBy", "lines").toLowerCase() == "letters";
var layout = twtLayout(this, {perChar: byLetters, align: twText("Txt.TextAlign", "center")});
var strength = Math.max(2, twNum("Txt.BlurAmount", 24));
var direction = twText("Txt.BlurDirection", "both").toLowerCase();
var stretch = twBool("Txt.Stretch", false);
var blurX = direction == "vertical" ? 0 : 1;
var blurY = direction == "horizontal" ? 0 : 1;

// The filters of a clip blurred by b (0..1): its own, plus the blur when
// there is any to see.
function blurred(own, b) {
    if (b <= 0.02) return own;
    var list = own.concat();
    list.push(new flash.filters.BlurFilter(Math.max(0, strength * b * blurX), Math.max(0, strength * b * blurY), 2));
    return list;
}
function stretchX(b) { return stretch ? 1 + b * blurX : 1; }
function stretchY(b) { return stretch ? 1 + b * blurY : 1; }

function focusUnit(u, q) {
    var b = 1 - twEase("out", q);
    twtPlace(u, 0, 0, stretchX(b), stretchY(b), 0, twEase("out", q));
    u.mc.filters = blurred(u.filters, b);
}
function blurUnit(u, q) {
    var b = twEase("in", q);
    twtPlace(u, 0, 0, stretchX(b), stretchY(b), 0, 1 - q);
    u.mc.filters = blurred(u.filters, b);
}
function focusLine(ln, q) {
    var b = 1 - twEase("out", q);
    twtPlaceLine(ln, 0, 0, stretchX(b), stretchY(b), 0, twEase("out", q));
    ln.mc.filters = blurred([], b);
}
function blurLine(ln, q) {
    var b = twEase("in", q);
    twtPlaceLine(ln, 0, 0, stretchX(b), stretchY(b), 0, 1 - q);
    ln.mc.filters = blurred([], b);
}

var enter = function(p) {
    if (byLetters) twtEachUnit(layout, p, false, 0.5, focusUnit);
    else twtEachLine(layout, p, false, focusLine);
};
var leave = function(p) {
    if (byLetters) twtEachUnit(layout, p, true, 0.5, blurUnit);
    else twtEachLine(layout, p, true, blurLine);
};
twtRun(this, twNum("Txt.EnterFrames", 15), twNum("Txt.LeaveFrames", 15), enter, leave);
