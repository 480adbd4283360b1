// Included before a header of interface identifiers so that this file defines them. The
// Linux build's identifiers are inline constants, defined wherever they are seen, so
// there is nothing to switch on here.
#pragma once
