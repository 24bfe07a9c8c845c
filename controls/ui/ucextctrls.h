// The Unicode image control: the toolkit's image with a wide hint and
// caption, wide action links, and a TUcPicture for its picture.
#pragma once

#include "controls/ucgraphics.h"
#include "controls/ui/uccontrols.h"
#include "platform/ui/extctrls.h"

class TUcImage : public TUcControl<TImage> {
public:
    explicit TUcImage(TComponent* owner);
    TUcPicture* Picture() const { return static_cast<TUcPicture*>(TImage::Picture()); }
};
