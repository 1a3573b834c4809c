// The text layer: streams, field layouts and free-form statements.
#ifndef LOCIWEAVER_TEXTIO_TEXTIO_H
#define LOCIWEAVER_TEXTIO_TEXTIO_H

#include "item.h"
#include "layout.h"
#include "listio.h"
#include "render.h"
#include "stream.h"

#endif
