// The numeric type ids that tag every serialized value in streams, files and on the wire.
#pragma once

namespace ktsl {
namespace TypeId {

// Ids are part of stored files and of the remote protocol: never renumber.
constexpr unsigned short EndOfFile = 1;
constexpr unsigned short FrameRequest = 2;
constexpr unsigned short Frame = 3;
constexpr unsigned short Object = 4;
constexpr unsigned short MemIOStream = 6;
constexpr unsigned short CameraMap = 10;
constexpr unsigned short Heartbeat = 11;
constexpr unsigned short Result = 12;
constexpr unsigned short Command = 13;
constexpr unsigned short VantorelAddress = 20;
constexpr unsigned short CameraGroup = 21;
constexpr unsigned short MultiImage = 22;
constexpr unsigned short ObjectFeatures = 27;
constexpr unsigned short TrainingData = 28;
constexpr unsigned short ClassificationModel = 29;
constexpr unsigned short SvmModel = 30;
constexpr unsigned short CameraParams = 31;
constexpr unsigned short Ping = 35;
constexpr unsigned short ProcessParams = 37;

constexpr unsigned short String = 501;
constexpr unsigned short TimeStamp = 502;
constexpr unsigned short ElapsedTime = 503;
constexpr unsigned short Integer = 504;
constexpr unsigned short Double = 505;
constexpr unsigned short Buffer = 506;
constexpr unsigned short UUID = 507;

constexpr unsigned short BoundingBox = 601;
constexpr unsigned short Point2D = 602;
constexpr unsigned short Polygon2D = 603;
constexpr unsigned short Histogram = 604;
constexpr unsigned short ColorHistogram = 605;

constexpr unsigned short ImageJPEG = 702;
constexpr unsigned short ImageRGB = 703;
constexpr unsigned short ImageYUV = 704;
constexpr unsigned short ImageGray = 705;
constexpr unsigned short FlatImage = 706;
constexpr unsigned short ImagePNG = 707;

constexpr unsigned short ResourceInfo = 814;
constexpr unsigned short Resolution = 815;

constexpr unsigned short Event = 1001;
constexpr unsigned short EventSpy = 1002;
constexpr unsigned short EventSpyFactory = 1003;
constexpr unsigned short Direction = 1004;
constexpr unsigned short Perimeter = 1005;
constexpr unsigned short Idle = 1006;
constexpr unsigned short LineCrossingSpy = 1008;
constexpr unsigned short Activity = 1009;
constexpr unsigned short ObjectSpy = 1011;
constexpr unsigned short ObjectTakenSpy = 1012;
constexpr unsigned short OpticalFlowSpy = 1014;
constexpr unsigned short EnterExit = 1017;
constexpr unsigned short CrowdDensity = 1018;
constexpr unsigned short Speed = 1019;
constexpr unsigned short FrameEventSpy = 1020;
constexpr unsigned short ExternalEventSpy = 1022;
constexpr unsigned short ProfileSpy = 1026;

// Containers add their element's (a map: its value's) id to these bases.
constexpr unsigned short ListBase = 5000;
constexpr unsigned short SetBase = 10000;
constexpr unsigned short StringMapBase = 15000;
constexpr unsigned short IntMapBase = 20000;

}  // namespace TypeId

// The namespace URI that string maps write on their root element (xmlns:kt): it names the
// settings schema the "kt:displayName" attribute belongs to.
constexpr const char* kSettingsNamespaceUri = "http://schemas.veltrano.com/settings/1.0";

}  // namespace ktsl
