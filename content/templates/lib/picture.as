// Picture stages. The picture builder hands the user's picture over as a
// sprite whose top-left corner is the picture's own, already scaled (and, for
// the "Center" and "Custom" placements, already turned) to its final look,
// with Img.PosX / Img.PosY the place of that corner on the stage. A template
// therefore only places and animates the sprite: turning it again by
// Img.Rotation would turn the picture twice.
//
// Needs lib/core.as.

// The easing kinds a user may pick for an entrance or an exit.
var twPictureEases = ["linear", "in", "out", "inout", "back", "bounce", "elastic"];

// Clamps a number read from the values into lo..hi; def when it is no number.
function twPictureClamp(value, lo, hi, def) {
    if (isNaN(value)) return def;
    if (value < lo) return lo;
    if (value > hi) return hi;
    return value;
}

// An easing kind from the values, falling back to def for an unknown one, so
// that a misspelt choice still animates instead of jumping.
function twPictureEase(name, def) {
    var kind = twText(name, def);
    for (var i = 0; i < twPictureEases.length; i++)
        if (twPictureEases[i] == kind) return kind;
    return def;
}

// A whole number of frames from the values, at least 1.
function twPictureFrames(name, def) {
    return Math.max(1, Math.round(twPictureClamp(twNum(name, def), 1, 10000, def)));
}

// Draws a filled rectangle into clip.
function twPictureRect(clip, x, y, w, h) {
    clip.beginFill(0xFFFFFF, 100);
    clip.moveTo(x, y);
    clip.lineTo(x + w, y);
    clip.lineTo(x + w, y + h);
    clip.lineTo(x, y + h);
    clip.lineTo(x, y);
    clip.endFill();
}

// Puts the user's picture into a new holder clip of owner whose origin is the
// picture's centre, so that scaling or turning the holder keeps the picture
// centred where the builder placed it. The holder carries what the effects
// need: its child "picture" (the attached sprite; absent when the export is
// missing), picW / picH (its size), homeX / homeY (the centre on the stage)
// and homeAlpha (the user's opacity, 0..100). A missing picture leaves an
// empty holder, so the stage still runs its course and counts down.
// Played on its own, without values, the template shows its own placeholder
// (stem + "_ImageMovie") in the middle of its stage instead.
function twPictureHolder(owner, depth, stem) {
    var holder = owner.createEmptyMovieClip("twPicture" + depth, depth);
    var picture = undefined;
    var exportName = twParam("Img.ImageMovieExport");
    if (exportName == undefined || exportName == "") exportName = stem + "_ImageMovie";
    picture = holder.attachMovie(exportName, "picture", 1);
    var w = 0, h = 0;
    if (picture != undefined) {
        w = picture._width;
        h = picture._height;
        picture._x = -w / 2;
        picture._y = -h / 2;
    }
    holder.picW = w;
    holder.picH = h;
    holder.homeX = twNum("Img.PosX", Math.round((twNum("Movie.Width", 400) - w) / 2)) + w / 2;
    holder.homeY = twNum("Img.PosY", Math.round((twNum("Movie.Height", 300) - h) / 2)) + h / 2;
    holder.homeAlpha = twPictureClamp(twNum("Img.Alpha", 100), 0, 100, 100);
    holder._x = holder.homeX;
    holder._y = holder.homeY;
    holder._alpha = holder.homeAlpha;
    return holder;
}

// A mask over the holder's picture: a child of the holder drawn in the
// picture's own rectangle (or, with no picture, nothing), set as the
// picture's mask. Moving or scaling the mask reveals part of the picture.
function twPictureMask(holder) {
    var mask = holder.createEmptyMovieClip("twMask", 2);
    twPictureRect(mask, -holder.picW / 2, -holder.picH / 2, holder.picW, holder.picH);
    if (holder.picture != undefined) holder.picture.setMask(mask);
    return mask;
}

// Runs the picture stage's life on the holder with the entrance and exit
// lengths of Img.EnterFrames and Img.LeaveFrames (12 frames each by
// default); onEnter(p) and onLeave(p) see the holder as this.
function twPictureRun(holder, onEnter, onLeave) {
    stop();
    twRunStage(holder, "Img.", twPictureFrames("Img.EnterFrames", 12), twPictureFrames("Img.LeaveFrames", 12),
               onEnter, onLeave);
}
