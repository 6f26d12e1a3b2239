// The plain text of encipheredprobe's constant. The probe hands it only to
// EncipherConstant, which runs at compile time; the test that runs the probe
// uses it to look for the text in the probe's bytes.
#pragma once

#define SAVER_ENCIPHERED_PROBE_TEXT "Glimmo probe: this plain text must never stand in the executable"
