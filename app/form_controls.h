// The component classes the main window is built from, for the window's own sources.
#pragma once

#include "controls/aa_ctrls.h"
#include "controls/rz_bmpbtn.h"
#include "controls/rz_cmbobx.h"
#include "controls/rz_label.h"
#include "controls/rz_panel.h"
#include "controls/rz_prgres.h"
#include "controls/rz_radchk.h"
#include "controls/rz_radgrp.h"
#include "controls/rz_separator.h"
#include "controls/rz_spnedt.h"
#include "controls/rz_trkbar.h"
#include "ffmpeg/encoder.h"
#include "imaging/view/imaging_view.h"
#include "platform/forms.h"
#include "platform/menus.h"
#include "platform/std_controls.h"
