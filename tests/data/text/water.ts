// A texture script that takes its defaults from a shared file.
include("common.ts");
Texture = "water.dds";
Frames = array("w0.tga", "w1.tga", "w2.tga");
Speed = Defaults.Speed;
Timing = Defaults;
