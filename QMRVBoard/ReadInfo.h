// Loading of the calibration and edge-key tables.
#pragma once

// Reads the configuration file and publishes new tables for the reader; with
// "dotNum" 0 only the point count changes. Returns the point count read.
int Read_Data();
