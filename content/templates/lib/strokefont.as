// Capital letters, digits and a few signs drawn as strokes with the drawing
// API. A preloader runs before any font of the movie is defined and must not
// fall back to a device font, so its caption is drawn line by line.
//
// Each glyph is a list of polylines on a grid 4 units wide and 6 high (y
// grows downwards); a polyline is a string of points, two digits "xy" each.
// A glyph advances 6 units.

var twStrokeGlyphs = new Object();
twStrokeGlyphs["A"] = ["0602204246", "0444"];
twStrokeGlyphs["D"] = ["00304145360600"];
twStrokeGlyphs["G"] = ["41301001051636454323"];
twStrokeGlyphs["I"] = ["2026", "1030", "1636"];
twStrokeGlyphs["L"] = ["000646"];
twStrokeGlyphs["N"] = ["06004640"];
twStrokeGlyphs["O"] = ["0040460600"];
twStrokeGlyphs["0"] = ["0040460600", "0541"];
twStrokeGlyphs["1"] = ["112026", "1636"];
twStrokeGlyphs["2"] = ["004043030646"];
twStrokeGlyphs["3"] = ["00404606", "1343"];
twStrokeGlyphs["4"] = ["000343", "4046"];
twStrokeGlyphs["5"] = ["400003434606"];
twStrokeGlyphs["6"] = ["400006464303"];
twStrokeGlyphs["7"] = ["004026"];
twStrokeGlyphs["8"] = ["0040460600", "0343"];
twStrokeGlyphs["9"] = ["430300404606"];
twStrokeGlyphs["%"] = ["0640", "0010110100", "3545463635"];
twStrokeGlyphs["."] = ["2526"];

// Width in pixels of text drawn with a unit of unit pixels.
function twStrokeWidth(text, unit) {
  return text.length > 0 ? (text.length * 6 - 2) * unit : 0;
}

// Draws text (capitals; unknown characters leave a gap) into clip with its
// top-left corner at (x, y). The caller sets the line style.
function twStrokeText(clip, text, x, y, unit) {
  for (var i = 0; i < text.length; i++) {
    var lines = twStrokeGlyphs[text.charAt(i)];
    if (lines == undefined) continue;
    var left = x + i * 6 * unit;
    for (var l = 0; l < lines.length; l++) {
      var points = lines[l];
      for (var p = 0; p + 1 < points.length; p += 2) {
        var px = left + Number(points.charAt(p)) * unit;
        var py = y + Number(points.charAt(p + 1)) * unit;
        if (p == 0) clip.moveTo(px, py);
        else clip.lineTo(px, py);
      }
    }
  }
}
