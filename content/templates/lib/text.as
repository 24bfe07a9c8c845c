// The text stages' shared half: reads the stage's lines ("Txt.StrFormatedText")
// and font styles ("Txt.Font") from ParamsValue, lays them out with the fonts
// the composer embedded under the styles' names, and hands each template the
// pieces to animate.
//
// The block: its left edge stands at Txt.PosX (the application centres it by
// shifting the anchor by half the widest line) and its vertical middle at
// Txt.PosY, in a frame turned by Txt.Rotation around the stage origin (the
// application has already turned the anchor back by that angle). Lines stack
// with Txt.LineSpace pixels between them, and the room an effect asks for to
// move its letters up and down (opts.lineGap); runs of different heights sit at
// the top, middle or bottom of their line (Txt.LineAlign 0, 1, 2).
//
// Pieces: one clip per run, or per character when the effect moves letters
// (and always when a style turns its characters). Each piece's clip has its
// registration point at the piece's centre, so that scaling and turning stay
// in place; the effect moves it relative to its resting values:
//   u.x, u.y, u.xs, u.ys, u.rot, u.alpha   resting position, scale, angle, alpha
//   u.line, u.k, u.g                       its line, its place in the line and in the block
//   u.mc                                   the clip; u.filters its style's filters
// Lines are clips too, registered at their centres, holding their pieces.

// ------------------------------------------------------------ reading

function twtChildText(node, name) {
    for (var c = node.firstChild; c != null; c = c.nextSibling) {
        if (c.nodeType == 1 && c.nodeName == name) return twtNodeText(c);
    }
    return undefined;
}

// The text of an element: its text children joined (entities already decoded
// by the parser).
function twtNodeText(node) {
    var s = "";
    for (var c = node.firstChild; c != null; c = c.nextSibling) {
        if (c.nodeType == 3) s += c.nodeValue;
    }
    return s;
}

function twtNumber(text, def) {
    if (text == undefined || text == "") return def;
    var n = Number(text);
    return isNaN(n) ? def : n;
}

function twtColorText(text, def) {
    if (text == undefined || text == "") return def;
    var n = parseInt(text);
    return isNaN(n) ? def : n;
}

function twtFlag(text, def) {
    if (text == undefined || text == "") return def;
    return text.toLowerCase() == "true";
}

// One font style of "Txt.Font".
function twtReadStyle(node) {
    var s = {};
    s.name = node.attributes.name;
    if (s.name == undefined) s.name = "";
    s.font = twtChildText(node, "FontFormatName");
    if (s.font == undefined || s.font == "") s.font = s.name;
    s.size = twtNumber(twtChildText(node, "FontSize"), 20);
    if (s.size < 1) s.size = 1;
    s.underline = twtFlag(twtChildText(node, "FontUnderline"), false);
    s.xs = twtNumber(twtChildText(node, "FontXScale"), 100);
    s.ys = twtNumber(twtChildText(node, "FontYScale"), 100);
    s.alpha = twtNumber(twtChildText(node, "Alpha"), 100);
    s.space = twtNumber(twtChildText(node, "TextSpace"), 0);
    s.fill = String(twtChildText(node, "FillStyle")).toLowerCase();
    s.begin = twtColorText(twtChildText(node, "FontBeginColor"), 0xFF9900);
    s.end = twtColorText(twtChildText(node, "FontEndColor"), 0x663300);
    s.borderSize = twtNumber(twtChildText(node, "BorderSize"), 0);
    s.border = twtFlag(twtChildText(node, "Border"), false) && s.borderSize > 0;
    s.borderColor = twtColorText(twtChildText(node, "BorderColor"), 0xFF0000);
    s.shadow = twtFlag(twtChildText(node, "BorderShadow"), false);
    s.charRot = twtNumber(twtChildText(node, "CharRotation"), 0);
    s.embed = true;
    return s;
}

// The styles by lower-case name, with "first" the first declared one. Played
// on its own, without a document, the template falls back to a device font so
// that it still shows something; a composed movie always carries its styles.
function twtReadStyles() {
    var styles = {byName: {}, first: undefined};
    var root = twNode("Txt.Font");
    if (root != undefined) {
        for (var f = root.firstChild; f != null; f = f.nextSibling) {
            if (f.nodeType != 1) continue;
            var s = twtReadStyle(f);
            // Names match without regard to case; the first style of a name
            // wins. Keys carry a prefix so that no name meets a property every
            // object has ("constructor", say).
            var key = "style:" + s.name.toLowerCase();
            if (styles.byName[key] == undefined) styles.byName[key] = s;
            if (styles.first == undefined) styles.first = s;
        }
    }
    if (styles.first == undefined) {
        var d = {name: "default", font: "_sans", size: 24, underline: false, xs: 100, ys: 100, alpha: 100,
                 space: 0, fill: "solid", begin: 0xFF9900, end: 0x663300, border: false, borderSize: 0,
                 borderColor: 0xFF0000, shadow: false, charRot: 0, embed: false};
        styles.byName["style:default"] = d;
        styles.first = d;
    }
    return styles;
}

// A run's style: by name without regard to case, else "default", else the
// first style.
function twtStyleOf(styles, name) {
    var s = styles.byName["style:" + String(name).toLowerCase()];
    if (s == undefined) s = styles.byName["style:default"];
    if (s == undefined) s = styles.first;
    return s;
}

// The lines: arrays of runs {text, style}; empty runs are left out, empty
// lines kept (they take the height of the first style).
function twtReadLines(styles) {
    var lines = [];
    var root = twNode("Txt.StrFormatedText");
    if (root == undefined) {
        lines.push([{text: "Sample text", style: styles.first}]);
        return lines;
    }
    for (var l = root.firstChild; l != null; l = l.nextSibling) {
        if (l.nodeType != 1) continue;
        var runs = [];
        for (var r = l.firstChild; r != null; r = r.nextSibling) {
            if (r.nodeType != 1) continue;
            var t = twtNodeText(r);
            if (t.length > 0) runs.push({text: t, style: twtStyleOf(styles, r.attributes.format)});
        }
        lines.push(runs);
    }
    return lines;
}

// ------------------------------------------------------------ text fields

function twtFormat(style) {
    var f = new TextFormat();
    f.font = style.font;
    f.size = style.size;
    f.color = style.begin;
    f.underline = style.underline;
    f.letterSpacing = style.space;
    f.bold = false;
    f.italic = false;
    f.kerning = false;
    return f;
}

function twtSetupField(tf, style) {
    tf.embedFonts = style.embed;
    tf.selectable = false;
    tf.multiline = false;
    tf.wordWrap = false;
    tf.autoSize = "left";
}

function twtSetText(tf, text, format) {
    tf.setNewTextFormat(format);
    tf.text = text;
    tf.setTextFormat(format);
}

// Measures texts in a style with one hidden field; the field goes when the
// layout is done.
function twtMeasurer(host) {
    host.createTextField("twtMeasureField", 9990, 0, 0, 10, 10);
    var m = {tf: host.twtMeasureField};
    m.tf._visible = false;
    return m;
}

function twtMeasure(m, text, style) {
    twtSetupField(m.tf, style);
    twtSetText(m.tf, text, twtFormat(style));
    return {w: m.tf.textWidth, h: m.tf.textHeight};
}

// A character's size and advance (letter spacing included) in a style,
// measured once per style: the advance is what the character adds before a
// following one, which a lone space or a trailing spacing would not show.
function twtGlyph(m, ch, style) {
    if (style.glyphs == undefined) {
        style.glyphs = {};
        style.bar = twtMeasure(m, "|", style).w;
    }
    var key = "c:" + ch;
    var g = style.glyphs[key];
    if (g == undefined) {
        var one = twtMeasure(m, ch, style);
        g = {w: one.w, h: one.h, advance: twtMeasure(m, ch + "|", style).w - style.bar};
        style.glyphs[key] = g;
    }
    return g;
}

// Colour at t (0..1) between two colours.
function twtMix(a, b, t) {
    if (t < 0) t = 0;
    if (t > 1) t = 1;
    var r = Math.round(((a >> 16) & 255) * (1 - t) + ((b >> 16) & 255) * t);
    var g = Math.round(((a >> 8) & 255) * (1 - t) + ((b >> 8) & 255) * t);
    var bl = Math.round((a & 255) * (1 - t) + (b & 255) * t);
    return (r << 16) | (g << 8) | bl;
}

// The style's own filters: the border as a tight glow, the shadow as a drop
// shadow.
function twtStyleFilters(style) {
    var list = [];
    if (style.border) {
        var b = style.borderSize * 2 + 1;
        list.push(new flash.filters.GlowFilter(style.borderColor, 1, b, b, 12, 1, false, false));
    }
    if (style.shadow) {
        list.push(new flash.filters.DropShadowFilter(3, 45, 0x000000, 0.6, 4, 4, 1, 1, false, false, false));
    }
    return list;
}

// ------------------------------------------------------------ layout

// Lays out the stage's text in host. opts.perChar: one piece per character
// (whitespace takes its room but gets no piece); else one per run.
// opts.align: "left", "center" or "right" for lines shorter than the widest.
// opts.lineGap: pixels added between lines (none when absent).
// Returns {block, lines: [{mc, units, w, h, x, y}], units, letters}.
function twtLayout(host, opts) {
    var styles = twtReadStyles();
    var src = twtReadLines(styles);
    var m = twtMeasurer(host);
    var lineSpace = twNum("Txt.LineSpace", 0) + (opts.lineGap == undefined ? 0 : opts.lineGap);
    var lineAlign = twNum("Txt.LineAlign", 1);
    var align = opts.align == undefined ? "center" : String(opts.align).toLowerCase();

    var L = {lines: [], units: [], letters: 0};
    L.block = host.createEmptyMovieClip("twtBlock", 10);
    L.block._rotation = twNum("Txt.Rotation", 0);

    // Measure every piece first: the block's size decides where lines go.
    var emptyH = twtMeasure(m, "Xg", styles.first).h * styles.first.ys / 100;
    var widest = 0;
    var totalH = 0;
    var i;
    for (i = 0; i < src.length; i++) {
        var runs = src[i];
        var line = {pieces: [], w: 0, h: 0};
        var x = 0;
        for (var r = 0; r < runs.length; r++) {
            var run = runs[r];
            var st = run.style;
            var sx = st.xs / 100;
            var sy = st.ys / 100;
            var whole = twtMeasure(m, run.text, st);
            var split = opts.perChar || st.charRot != 0;
            if (split) {
                // Each character's left edge is the sum of the advances before it
                // (kerning is off, so they add up as the run would lay them out).
                var left = 0;
                for (var c = 0; c < run.text.length; c++) {
                    var ch = run.text.charAt(c);
                    var glyph = twtGlyph(m, ch, st);
                    if (ch != " " && ch != "\t" && ch != "\r" && ch != "\n") {
                        line.pieces.push({text: ch, style: st, left: x + left * sx, w: glyph.w * sx, h: glyph.h * sy,
                                          rw: glyph.w, rh: glyph.h});
                    }
                    left += glyph.advance;
                }
                line.h = Math.max(line.h, whole.h * sy);
            } else {
                line.pieces.push({text: run.text, style: st, left: x, w: whole.w * sx, h: whole.h * sy,
                                  rw: whole.w, rh: whole.h});
                line.h = Math.max(line.h, whole.h * sy);
            }
            x += (whole.w + (run.text.length > 0 ? st.space : 0)) * sx;
        }
        line.w = x;
        if (runs.length == 0) line.h = emptyH;
        widest = Math.max(widest, line.w);
        totalH += line.h + (i > 0 ? lineSpace : 0);
        L.lines.push(line);
    }
    m.tf.removeTextField();

    var left0 = twNum("Txt.PosX", 0);
    var top = twNum("Txt.PosY", 0) - totalH / 2;
    var cx = left0 + widest / 2;
    var cy = top + totalH / 2;
    var diag = Math.sqrt(widest * widest + totalH * totalH) / 2;
    if (diag < 1) diag = 1;
    var y = top;
    var depth = 1;
    for (i = 0; i < L.lines.length; i++) {
        var ln = L.lines[i];
        var off = align == "left" ? 0 : (align == "right" ? widest - ln.w : (widest - ln.w) / 2);
        ln.x = left0 + off + ln.w / 2;
        ln.y = y + ln.h / 2;
        ln.index = i;
        ln.units = [];
        ln.mc = L.block.createEmptyMovieClip("line" + i, i + 1);
        ln.mc._x = ln.x;
        ln.mc._y = ln.y;
        for (var p = 0; p < ln.pieces.length; p++) {
            var pc = ln.pieces[p];
            var s2 = pc.style;
            var u = {line: i, k: ln.units.length, style: s2, text: pc.text};
            u.mc = ln.mc.createEmptyMovieClip("u" + p, depth++);
            u.mc.createTextField("t", 1, -pc.rw / 2 - 2, -pc.rh / 2 - 2, pc.rw + 4, pc.rh + 4);
            var tf = u.mc.t;
            twtSetupField(tf, s2);
            var fmt = twtFormat(s2);
            twtSetText(tf, pc.text, fmt);
            // Keep the glyphs centred on the clip whatever autoSize made of the box.
            tf._x = -tf.textWidth / 2 - 2;
            tf._y = -tf.textHeight / 2 - 2;
            u.w = pc.w;
            u.h = pc.h;
            u.x = pc.left + pc.w / 2 - ln.w / 2;
            u.y = lineAlign == 0 ? pc.h / 2 - ln.h / 2 : (lineAlign == 2 ? ln.h / 2 - pc.h / 2 : 0);
            u.xs = s2.xs;
            u.ys = s2.ys;
            u.rot = s2.charRot;
            u.alpha = s2.alpha;
            u.filters = twtStyleFilters(s2);
            if (u.filters.length > 0) u.mc.filters = u.filters;
            twtFill(u, tf, fmt, ln, cx, cy, diag, widest);
            u.g = L.units.length;
            ln.units.push(u);
            L.units.push(u);
        }
        L.letters += ln.units.length;
        y += ln.h + lineSpace;
    }
    L.cx = cx;
    L.cy = cy;
    L.w = widest;
    L.h = totalH;
    for (i = 0; i < L.units.length; i++) twtPlace(L.units[i], 0, 0, 1, 1, 0, 1);
    return L;
}

// A gradient style shades the characters from the begin colour to the end
// colour: across the block for "linear", outwards from its middle for
// "radial".
function twtFill(u, tf, fmt, ln, cx, cy, diag, widest) {
    var st = u.style;
    if (st.fill != "linear" && st.fill != "radial") return;
    var n = u.text.length;
    for (var c = 0; c < n; c++) {
        // Block coordinates of this character's middle, taken evenly across the piece.
        var bx = ln.x + u.x - u.w / 2 + u.w * (c + 0.5) / n;
        var by = ln.y + u.y;
        var t;
        if (st.fill == "linear") {
            t = widest > 0 ? (bx - (cx - widest / 2)) / widest : 0;
        } else {
            t = Math.sqrt((bx - cx) * (bx - cx) + (by - cy) * (by - cy)) / diag;
        }
        fmt.color = twtMix(st.begin, st.end, t);
        tf.setTextFormat(c, c + 1, fmt);
    }
}

// ------------------------------------------------------------ motion

// Puts a piece at its resting state moved by (dx, dy), scaled by (sx, sy),
// turned by rot degrees and faded to a (0..1); hidden at a <= 0.
function twtPlace(u, dx, dy, sx, sy, rot, a) {
    var mc = u.mc;
    mc._x = u.x + dx;
    mc._y = u.y + dy;
    mc._xscale = u.xs * sx;
    mc._yscale = u.ys * sy;
    mc._rotation = u.rot + rot;
    mc._alpha = u.alpha * a;
    mc._visible = a > 0 && sx != 0 && sy != 0;
}

// The same for a whole line, around its centre.
function twtPlaceLine(ln, dx, dy, sx, sy, rot, a) {
    var mc = ln.mc;
    mc._x = ln.x + dx;
    mc._y = ln.y + dy;
    mc._xscale = 100 * sx;
    mc._yscale = 100 * sy;
    mc._rotation = rot;
    mc._alpha = 100 * a;
    mc._visible = a > 0 && sx != 0 && sy != 0;
}

// The share of p (0..1) that belongs to item i of n when the items follow one
// another, each taking a window of w (0..1) of the whole.
function twtStagger(p, i, n, w) {
    if (n <= 1 || w >= 1) return p;
    var start = i * (1 - w) / (n - 1);
    var q = (p - start) / w;
    return q < 0 ? 0 : (q > 1 ? 1 : q);
}

// Progress of one line: all lines together when the stage's sync flag for
// this phase is set, else one after another (the exit from the first line or
// from the last, as Txt.LeaveFromBegin says).
function twtLineProgress(L, i, p, leaving) {
    var n = L.lines.length;
    var sync = leaving ? twBool("Txt.LinesSyncLeave", false) : twBool("Txt.LinesSyncEnter", false);
    if (sync || n <= 1) return p;
    var order = (leaving && !twBool("Txt.LeaveFromBegin", true)) ? n - 1 - i : i;
    return twtStagger(p, order, n, Math.min(1, 2 / (n + 1)));
}

// Progress of one piece inside its line's progress lp: the pieces follow one
// another, each with a window of w of its line's time (w >= 1: all at once).
function twtUnitProgress(L, u, lp, leaving, w) {
    var n = L.lines[u.line].units.length;
    var order = (leaving && !twBool("Txt.LeaveFromBegin", true)) ? n - 1 - u.k : u.k;
    return twtStagger(lp, order, n, w);
}

// Calls draw(u, q) for every piece with its own progress q, lines following
// the stage's flags and pieces inside a line the window w.
function twtEachUnit(L, p, leaving, w, draw) {
    for (var i = 0; i < L.lines.length; i++) {
        var ln = L.lines[i];
        var lp = twtLineProgress(L, i, p, leaving);
        for (var k = 0; k < ln.units.length; k++) draw(ln.units[k], twtUnitProgress(L, ln.units[k], lp, leaving, w));
    }
}

// Calls draw(line, q) for every line with its own progress q.
function twtEachLine(L, p, leaving, draw) {
    for (var i = 0; i < L.lines.length; i++) draw(L.lines[i], twtLineProgress(L, i, p, leaving));
}

// A small repeatable random sequence, so that every play of a stage, and
// every captured frame, looks the same.
function twtRandom(seed) {
    var r = {s: (Math.abs(Math.round(seed)) % 2147483646) + 1};
    r.next = function() {
        this.s = (this.s * 16807) % 2147483647;
        return (this.s - 1) / 2147483646;
    };
    return r;
}

// Runs the stage through the shared timing with the template's own frame
// counts. The pieces start in their state before the entrance, so that no
// frame shows them resting before they enter.
function twtRun(host, enterFrames, leaveFrames, onEnter, onLeave) {
    onEnter.call(host, 0);
    var enterCount = Math.max(1, Math.round(enterFrames));
    var leaveCount = Math.max(1, Math.round(leaveFrames));
    twRunStage(host, "Txt.", enterCount, leaveCount, onEnter, onLeave);
}
