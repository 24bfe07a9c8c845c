// A shown form to put controls on, for the tests of windows.
#pragma once

#include "controls/ui/ucforms.h"
#include "platform/ui/qt/qt_testing.h"

struct TFormFixture {
    explicit TFormFixture(int width = 560, int height = 380) {
        Form.SetBounds(30, 30, width, height);
        Form.Show();
        QtTesting::ActivateWindow(Form);
    }
    template <typename C>
    C* Place(int left, int top, int width, int height) {
        auto* control = new C(&Form);
        control->SetBounds(left, top, width, height);
        control->SetParent(&Form);
        return control;
    }
    TUcForm Form{nullptr};
};
