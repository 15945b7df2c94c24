#include "editor_fixture.h"
