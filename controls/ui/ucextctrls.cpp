#include "controls/ui/ucextctrls.h"

TUcImage::TUcImage(TComponent* owner) : TUcControl<TImage>(owner) { ReplacePicture(std::make_unique<TUcPicture>()); }
