// The whole common library.
#pragma once

#include "kycplib/held_file.h"
#include "kycplib/keyvalue.h"
#include "kycplib/noncopyable.h"
#include "kycplib/path.h"
#include "kycplib/sync.h"
#include "kycplib/thread.h"
