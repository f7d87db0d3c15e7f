// The toolkit's visual half in one include: canvas and bitmaps, the control base, the system
// controls, the painted controls, forms, action lists and the form builder.
#pragma once

#include "toolkit/Actions.h"
#include "toolkit/Canvas.h"
#include "toolkit/Control.h"
#include "toolkit/Form.h"
#include "toolkit/FormBuilder.h"
#include "toolkit/Painted.h"
#include "toolkit/StdControls.h"
