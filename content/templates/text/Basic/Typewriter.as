ParamsDefine = "<ParamsDefine><Txt.LetterFrames type=\"integer\" caption=\"Frames per letter\" default=\"2\" min=\"1\" max=\"50\"/><Txt.LeaveFrames type=\"integer\" caption=\"Exit frames\" default=\"12\" min=\"1\" max=\"200\"/><Txt.Cursor type=\"bool\" caption=\"Show cursor\" default=\"true\"/><Txt.ExitKind type=\"selection\" caption=\"Exit\" default=\"erase\" selection=\"erase;fade\"/><Txt.TextAlign type=\"selection\" caption=\"Text alignment\" default=\"left\" selection=\"left;center;right\"/></ParamsDefine>";
#include "lib/core.as"
#include "lib/text.as"

// The letters appear one at a time behind a cursor, as if typed, and are
// erased the same way (or fade out).
var layout = twtLayout(this, {perChar: true, align: twText("Txt.TextAlign", "left")});
var showCursor = twBool("Txt.Cursor", true);
var erase = twText("Txt.ExitKind", "erase").toLowerCase() != "fade";
var syncEnter = twBool("Txt.LinesSyncEnter", false);
var syncLeave = twBool("Txt.LinesSyncLeave", false);
var fromBegin = twBool("Txt.LeaveFromBegin", true);
var longest = 0;
for (var i = 0; i < layout.lines.length; i++) longest = Math.max(longest, layout.lines[i].units.length);
var typeSteps = syncEnter ? longest : layout.letters;
var phase = "enter";
var blink = 0;

var cursor = layout.block.createEmptyMovieClip("cursor", 1000);
cursor._visible = false;

// The cursor stands just after piece u of line ln, or before the first piece
// when u is undefined.
function putCursor(ln, u) {
    if (!showCursor || ln == undefined) {
        cursor._visible = false;
        return;
    }
    if (cursor.drawnFor != ln.index) {
        cursor.clear();
        var colour = ln.units.length > 0 ? ln.units[0].style.begin : 0xFFFFFF;
        cursor.beginFill(colour, 100);
        var w = Math.max(2, Math.round(ln.h / 12));
        cursor.moveTo(0, -ln.h / 2);
        cursor.lineTo(w, -ln.h / 2);
        cursor.lineTo(w, ln.h / 2);
        cursor.lineTo(0, ln.h / 2);
        cursor.endFill();
        cursor.drawnFor = ln.index;
    }
    var x = u == undefined ? (ln.units.length > 0 ? ln.units[0].x - ln.units[0].w / 2 : -ln.w / 2) : u.x + u.w / 2;
    cursor._x = ln.x + x + 1;
    cursor._y = ln.y;
    cursor._visible = true;
}

// Shows the first n letters of each line (sync) or of the whole block, and
// puts the cursor after the last one shown.
function showTyped(n, sync) {
    var lastLine = undefined;
    var lastUnit = undefined;
    for (var i = 0; i < layout.lines.length; i++) {
        var ln = layout.lines[i];
        for (var k = 0; k < ln.units.length; k++) {
            var u = ln.units[k];
            var shown = sync ? k < n : u.g < n;
            twtPlace(u, 0, 0, 1, 1, 0, shown ? 1 : 0);
            if (shown) {
                lastLine = ln;
                lastUnit = u;
            }
        }
    }
    putCursor(lastLine == undefined ? layout.lines[0] : lastLine, lastUnit);
}

// Hides the first n letters (from the beginning) or the last n.
function showErased(n, sync) {
    var edgeLine = undefined;
    var edgeUnit = undefined;
    for (var i = 0; i < layout.lines.length; i++) {
        var ln = layout.lines[i];
        var count = ln.units.length;
        for (var k = 0; k < count; k++) {
            var u = ln.units[k];
            var gone;
            if (sync) gone = fromBegin ? k < n : k >= count - n;
            else gone = fromBegin ? u.g < n : u.g >= layout.letters - n;
            twtPlace(u, 0, 0, 1, 1, 0, gone ? 0 : 1);
            if (fromBegin) {
                if (gone) {
                    edgeLine = ln;
                    edgeUnit = u;
                }
            } else if (!gone) {
                edgeLine = ln;
                edgeUnit = u;
            }
        }
    }
    putCursor(edgeLine == undefined ? layout.lines[0] : edgeLine, edgeUnit);
}

var enter = function(p) {
    phase = p >= 1 ? "stay" : "enter";
    showTyped(Math.floor(p * typeSteps + 0.0001), syncEnter);
};
var leave = function(p) {
    phase = "leave";
    cursor._alpha = 100;
    if (erase) {
        showErased(Math.floor(p * (syncLeave ? longest : layout.letters) + 0.0001), syncLeave);
    } else {
        cursor._visible = false;
        for (var i = 0; i < layout.units.length; i++) twtPlace(layout.units[i], 0, 0, 1, 1, 0, 1 - p);
    }
};

// The cursor blinks while the text stands.
var ticker = this.createEmptyMovieClip("twtTicker", 20);
ticker.onEnterFrame = function() {
    if (phase != "stay" || !showCursor) return;
    blink++;
    cursor._alpha = (Math.floor(blink / 6) % 2) == 0 ? 100 : 0;
};

twtRun(this, Math.max(1, typeSteps) * twNum("Txt.LetterFrames", 2), twNum("Txt.LeaveFrames", 12), enter, leave);
