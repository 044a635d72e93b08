#include "ExifReader.h"
