// The part every shipped template shares: the values the application hands
// in through ParamsValue, easing curves, and the life of a stage (delay,
// entrance, stay, exit) with the count-down that lets the main movie go on.
//
// The application sets ParamsValue on the template's own timeline before
// this script runs; a template played on its own has none and every value
// falls back to the default its caller names.
//
// The compiler takes a function literal only as the whole value of an
// assignment or a var (as in ActionScript 1): hand callbacks to
// twRunStage through variables, e.g.
//     var fadeIn = function(p) { this._alpha = p * 100; };

var twDoc = null;
var twCounted = false;

// The element of ParamsValue named name, or null. The document keeps its
// whitespace: runs of text may begin or end with spaces.
function twNode(name) {
    if (twDoc == null) {
        twDoc = new XML();
        twDoc.ignoreWhite = false;
        twDoc.parseXML(ParamsValue == undefined ? "" : String(ParamsValue));
    }
    var root = twDoc.firstChild;
    while (root != null && root.nodeType != 1) root = root.nextSibling;
    if (root == null) return null;
    for (var n = root.firstChild; n != null; n = n.nextSibling) {
        if (n.nodeType == 1 && n.nodeName == name) return n;
    }
    return null;
}

// The text of an element (undefined when there is none).
function twParam(name) {
    var n = twNode(name);
    if (n == null) return undefined;
    var text = "";
    for (var c = n.firstChild; c != null; c = c.nextSibling) {
        text += (c.nodeType == 3) ? c.nodeValue : c.toString();
    }
    return text;
}

function twText(name, def) {
    var t = twParam(name);
    return (t == undefined) ? def : t;
}

function twNum(name, def) {
    var t = twParam(name);
    if (t == undefined || t == "") return def;
    var v = Number(t);
    return isNaN(v) ? def : v;
}

function twBool(name, def) {
    var t = twParam(name);
    if (t == undefined) return def;
    t = t.toLowerCase();
    if (t == "true") return true;
    if (t == "false") return false;
    return def;
}

// "0xRRGGBB" (or "#RRGGBB") as a number.
function twColor(name, def) {
    var t = twParam(name);
    if (t == undefined || t.length < 7) return def;
    var v = parseInt(t.substr(t.length - 6), 16);
    return isNaN(v) ? def : v;
}

// Easing: t from 0 to 1 gives the share of the way covered.
function twEase(kind, t) {
    if (t <= 0) return 0;
    if (t >= 1) return 1;
    if (kind == "in") return t * t;
    if (kind == "out") return 1 - (1 - t) * (1 - t);
    if (kind == "inout") return (t < 0.5) ? 2 * t * t : 1 - 2 * (1 - t) * (1 - t);
    if (kind == "back") {
        var s = 1.70158;
        var u = t - 1;
        return 1 + (s + 1) * u * u * u + s * u * u;
    }
    if (kind == "bounce") {
        if (t < 1 / 2.75) return 7.5625 * t * t;
        if (t < 2 / 2.75) { t -= 1.5 / 2.75; return 7.5625 * t * t + 0.75; }
        if (t < 2.5 / 2.75) { t -= 2.25 / 2.75; return 7.5625 * t * t + 0.9375; }
        t -= 2.625 / 2.75;
        return 7.5625 * t * t + 0.984375;
    }
    if (kind == "elastic") {
        return Math.pow(2, -10 * t) * Math.sin((t * 10 - 0.75) * (2 * Math.PI / 3)) + 1;
    }
    return t;
}

// This stage has finished: one less stage for the main movie to wait for;
// the last one lets it play on. Counted once, however often it is called.
function twStageDone() {
    if (twCounted) return;
    twCounted = true;
    _root.g_effectcount = _root.g_effectcount - 1;
    if (_root.g_effectcount <= 0) _root.play();
}

// Runs a stage's life on clip's frames: <prefix>DelayFrame frames hidden,
// the entrance over enterFrames frames (onEnter(p), p rising to 1; once with
// 1 when <prefix>SkipEnter), <prefix>DurationFrame frames of stay (-1: for
// good, and the stage is never counted down), then, unless <prefix>KeepText,
// the exit over leaveFrames frames (onLeave(p); none with <prefix>SkipLeave),
// hidden, and counted down. onEnter and onLeave run with this = clip.
function twRunStage(clip, prefix, enterFrames, leaveFrames, onEnter, onLeave) {
    var state = new Object();
    state.phase = 0;
    state.frame = 0;
    state.delay = twNum(prefix + "DelayFrame", 0);
    state.skipEnter = twBool(prefix + "SkipEnter", false);
    state.duration = twNum(prefix + "DurationFrame", 24);
    state.skipLeave = twBool(prefix + "SkipLeave", false);
    state.keep = twBool(prefix + "KeepText", false);
    state.enterFrames = (enterFrames >= 1) ? enterFrames : 1;
    state.leaveFrames = (leaveFrames >= 1) ? leaveFrames : 1;
    state.done = twStageDone;
    clip.twState = state;
    clip.twEnter = onEnter;
    clip.twLeave = onLeave;
    clip._visible = false;
    clip.onEnterFrame = twStageFrame;
}

// One frame of a stage's life (see twRunStage); runs as the clip's
// onEnterFrame.
function twStageFrame() {
    var s = this.twState;
    if (s.phase == 0) {
        if (s.frame < s.delay) {
            s.frame++;
            return;
        }
        this._visible = true;
        s.frame = 0;
        if (s.skipEnter) {
            this.twEnter(1);
            s.phase = 2;
            return;
        }
        s.phase = 1;
    }
    if (s.phase == 1) {
        s.frame++;
        this.twEnter(s.frame / s.enterFrames);
        if (s.frame >= s.enterFrames) {
            s.phase = 2;
            s.frame = 0;
        }
        return;
    }
    if (s.phase == 2) {
        if (s.duration < 0) {
            delete this.onEnterFrame;
            return;
        }
        if (s.frame < s.duration) {
            s.frame++;
            return;
        }
        if (s.keep) {
            delete this.onEnterFrame;
            s.done();
            return;
        }
        s.frame = 0;
        if (s.skipLeave) {
            s.phase = 4;
        } else {
            s.phase = 3;
        }
    }
    if (s.phase == 3) {
        s.frame++;
        this.twLeave(s.frame / s.leaveFrames);
        if (s.frame < s.leaveFrames) return;
    }
    this._visible = false;
    delete this.onEnterFrame;
    s.done();
}
