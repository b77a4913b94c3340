/* kt_background: everything of the adaptive background model in one include. */
#pragma once

#include "kt_background_compare.h"
#include "kt_background_distribution.h"
#include "kt_background_edges.h"
#include "kt_background_model.h"
#include "kt_background_shadows.h"
#include "kt_background_update.h"
#include "kt_background_view.h"
