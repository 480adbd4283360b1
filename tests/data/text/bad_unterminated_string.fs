Name = "never closed;
Size = 12;
