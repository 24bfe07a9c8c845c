// The project's toolkit: every window of the project stands on it.
//
// Components own components and hear of their removal; controls have bounds,
// a parent, numbered messages dispatched to handlers each class adds over its
// base's, invalidation and painting; windowed controls get a native window,
// scroll bars and a cursor from the running platform plugin. One message loop
// per process delivers messages posted from any thread, fires timers and
// paints. The plugin (headless: in-memory surfaces and injected input, for
// tests and servers) is chosen at start-up; nothing above this folder knows
// which one runs.
#pragma once

#include "platform/ui/actions.h"
#include "platform/ui/application.h"
#include "platform/ui/backend.h"
#include "platform/ui/component.h"
#include "platform/ui/control.h"
#include "platform/ui/dialogs.h"
#include "platform/ui/forms.h"
#include "platform/ui/menus.h"
#include "platform/ui/messages.h"
#include "platform/ui/stdctrls.h"
