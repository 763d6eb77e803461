#include "samples/AifBuilder.h"
#include "samples/Demo.h"
#include "samples/WvcEncoder.h"

namespace vld::samples {

void AddAudioDemoEntries(LabWriter& lab) {
  // C major with the octave on top, spread across the stereo field; laid out like the
  // game's own sounds (COMM first, SSND right behind it).
  lab.Add("sound\\chord.aif", BuildAif(ChordSound(22050, 2, 2.0, {261.63, 329.63, 392.00, 523.25})));

  // A rising glide in a file as other tools write it: a name before COMM, a marker and
  // an odd-sized annotation (with its pad byte) before SSND.
  TAifSpec sweep = AifSpecFor(SweepSound(11025, 1.5, 220, 1760));
  sweep.beforeComm.push_back(TextChunk("NAME", "Glide"));
  sweep.beforeSsnd.push_back(MarkerChunk(0, "start"));
  sweep.beforeSsnd.push_back(TextChunk("ANNO", "220 Hz to 1760 Hz"));
  lab.Add("sound\\sweep.aif", BuildAif(sweep));

  lab.Add("voices\\line001.wvc", EncodeWvc(VoiceSound(22050, 1.8)));
}

}  // namespace vld::samples
