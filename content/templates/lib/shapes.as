// Outlines for the drawing API; the caller begins and ends the fill.

function twRect(clip, x, y, w, h) {
  clip.moveTo(x, y);
  clip.lineTo(x + w, y);
  clip.lineTo(x + w, y + h);
  clip.lineTo(x, y + h);
  clip.lineTo(x, y);
}

// A circle from eight quadratic curves.
function twCircle(clip, x, y, r) {
  var k = Math.tan(Math.PI / 8) * r;
  var s = Math.SQRT1_2 * r;
  clip.moveTo(x + r, y);
  clip.curveTo(x + r, y + k, x + s, y + s);
  clip.curveTo(x + k, y + r, x, y + r);
  clip.curveTo(x - k, y + r, x - s, y + s);
  clip.curveTo(x - r, y + k, x - r, y);
  clip.curveTo(x - r, y - k, x - s, y - s);
  clip.curveTo(x - k, y - r, x, y - r);
  clip.curveTo(x + k, y - r, x + s, y - s);
  clip.curveTo(x + r, y - k, x + r, y);
}
