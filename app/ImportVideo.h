#pragma once
// File > Import Video...: asks for a clip of any kind (any video FFmpeg reads,
// .y4m, raw .yuv), reads it into the document's raw stream on a worker thread
// behind a progress dialog whose Cancel stops it, and leaves the document as
// it was when cancelled or when the clip cannot be read ("Error" box).

class QWidget;
class CTavroDoc;

// True when the document now holds the imported frames (state 'i', titled by
// the source file).
bool RunImportVideo(QWidget* pParent, CTavroDoc& doc);
