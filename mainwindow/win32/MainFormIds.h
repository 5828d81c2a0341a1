#pragma once
// The Wine tests and their helper programs drive the dialog by these identifiers from here.
#include "mainwindow/MainFormIds.h"
