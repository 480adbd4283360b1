
shared float4x4 World;
shared float Scale = 2;
float Own = 1;
texture Tex;
float4 VS() : POSITION { return 0; }
technique T { pass P { VertexShader = compile vs_2_0 VS(); } }
