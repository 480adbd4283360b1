// Identifiers of the tests' dialog templates and their controls (included by the resource
// script too).
#pragma once

#define TEST_DIALOG 400
#define TEST_DIALOG_BAD_CLASS 401

#define TEST_STATIC 100
#define TEST_COMBO 101
#define TEST_CHECK 102
#define TEST_RADIO1 103
#define TEST_RADIO2 104
#define TEST_RADIO3 105
#define TEST_EDIT 106

#define TEST_DIALOG_TRACKBAR 402
#define TEST_TRACKBAR 110
#define TEST_TRACKBAR_VERT 111
