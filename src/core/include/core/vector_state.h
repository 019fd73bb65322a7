#pragma once

// Qt's seeded string hash (every QHash, the option parser's among them) runs in the 256-bit
// AVX registers of a processor that has them and leaves their upper halves in use. Until they
// are cleared, every SSE instruction after it, which is all of this program's floating point
// and number texts, is merged with them and waits: the analysis report took 1.7 times as long.
// A loop that does much arithmetic clears them as it starts (a cycle; nothing on a processor
// without AVX).
void clearUpperVectorState();
