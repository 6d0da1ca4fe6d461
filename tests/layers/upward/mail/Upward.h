#pragma once

// Never compiled: a component header that reaches beside it into the directory and up into
// the window, for layers_check_test to catch. The other two includes are allowed.
#include "directory/Value.h"
#include "form/FormFields.h"
#include "mail/Message.h"
#include "ui/MainWindow.h"
