ParamsDefine = "<ParamsDefine><Txt.EnterFrames type=\"integer\" caption=\"Entrance frames\" default=\"24\" min=\"1\" max=\"200\"/><Txt.LeaveFrames type=\"integer\" caption=\"Exit frames\" default=\"18\" min=\"1\" max=\"200\"/><Txt.WaveHeight type=\"integer\" caption=\"Wave height (pixels)\" default=\"12\" min=\"0\" max=\"500\"/><Txt.WaveLength type=\"integer\" caption=\"Letters per wave\" default=\"8\" min=\"2\" max=\"200\"/><Txt.WaveFrames type=\"integer\" caption=\"Frames per wave\" default=\"24\" min=\"2\" max=\"500\"/><Txt.KeepWaving type=\"bool\" caption=\"Wave while shown\" default=\"true\"/><Txt.TextAlign type=\"selection\" caption=\"Text alignment\" default=\"center\" selection=\"left;center;right\"/></ParamsDefine>";
#include "lib/core.as"
#include "lib/text.as"

// A wave runs through the letters: they rise into place riding it, keep
// waving while the text stands (unless told to settle), and sink away on it.
var height = Math.max(0, twNum("Txt.WaveHeight", 12));
// A letter rides up to the wave's height above or below its place, so two
// lines can swing towards each other by twice that: they stand that much
// further apart, and a waving line never runs into its neighbour.
var layout = twtLayout(this, {perChar: true, align: twText("Txt.TextAlign", "center"), lineGap: 2 * height});
var letters = Math.max(2, twNum("Txt.WaveLength", 8));
var period = Math.max(2, twNum("Txt.WaveFrames", 24));
var keepWaving = twBool("Txt.KeepWaving", true);
var tick = 0;
var phase = "enter";
var progress = 0;

function waveAt(u) { return Math.sin((tick / period - u.k / letters) * Math.PI * 2); }

function waveIn(u, q) {
    var e = twEase("out", q);
    var amount = keepWaving ? 1 : 1 - e;
    twtPlace(u, 0, height * (2 * (1 - e) + amount * waveAt(u)), 1, 1, 0, q <= 0 ? 0 : Math.min(1, q * 1.5));
}
function waveStay(u, q) { twtPlace(u, 0, keepWaving ? height * waveAt(u) : 0, 1, 1, 0, 1); }
function waveOut(u, q) {
    var e = twEase("in", q);
    var amount = keepWaving ? 1 : e;
    twtPlace(u, 0, height * (amount * waveAt(u) - 2 * e), 1, 1, 0, 1 - q);
}

function drawWave() {
    if (phase == "enter") twtEachUnit(layout, progress, false, 0.5, waveIn);
    else if (phase == "stay") twtEachUnit(layout, 1, false, 1, waveStay);
    else twtEachUnit(layout, progress, true, 0.5, waveOut);
}

var enter = function(p) {
    progress = p;
    phase = p >= 1 ? "stay" : "enter";
    drawWave();
};
var leave = function(p) {
    progress = p;
    phase = "leave";
    drawWave();
};

// The wave moves on every frame, also while the text stands.
var ticker = this.createEmptyMovieClip("twtTicker", 20);
ticker.onEnterFrame = function() {
    tick++;
    if (phase == "stay" && keepWaving) drawWave();
};

twtRun(this, twNum("Txt.EnterFrames", 24), twNum("Txt.LeaveFrames", 18), enter, leave);
