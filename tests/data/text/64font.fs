// Bitmap font description: the statement form.
Name = "64font";
Texture = "64font.tga";    // the glyph sheet
Size = 64;
Styles[0].Charsets = array("64font.css");
Styles[0].Size = 32;
Styles[1] = object(Size = 16, Bold = 1,
                   Charsets = array("64font.css", "extra.css"));
Rects["4"] = array(129, 0, 160, 64);
Rects["5"] => array(161, 0, 192, 64);
Format = A8R8G8B8;
DefaultStyle = Styles[0];
Path = "C:\\Fonts\\64font.tga";
Quote = "say \"hi\" twice";
Url = "http://corvane.example/fonts"; // "//" inside quotes is no comment
include("64font.css");
using Metrics;
Ascent = 50;
Descent => 14;
using;
Glyphs = object(A = array(0, 0, 31, 63), B = array(32, 0, 63, 63));
