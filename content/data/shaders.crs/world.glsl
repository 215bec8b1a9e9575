// World programs: active while the level is drawn, over the engine's own
// sprite drawing (texture on unit 0, vertex colour carrying the opacity).
//   setCamShaderFrag("data/shaders.crs:world.glsl:dusk")
//   setCamShaderVert("data/shaders.crs:world.glsl:sway")

uniform float force;
uniform float upd;

#ifdef FRAGMENT
uniform sampler2D sprite;

// Evening light that slowly breathes: warm highlights, bluish shadows.
// "warmth" (0..1, 0.5 when never set) sets how far the colours move.
uniform float warmth = 0.5;

void dusk() {
  vec4 c = texture(sprite, gl_TexCoord[0].st) * gl_Color;
  float light = dot(c.rgb, vec3(0.3, 0.59, 0.11));
  vec3 tint = mix(vec3(0.35, 0.4, 0.75), vec3(1.15, 0.8, 0.55), light);
  float amount = warmth * force * (0.85 + 0.15 * sin(upd * 0.7));
  gl_FragColor = vec4(mix(c.rgb, c.rgb * tint, amount), c.a);
}

// Sprites as they are: the fragment slot's "off" (what replaces a place's
// program when the player leaves it).
void plain() {
  gl_FragColor = texture(sprite, gl_TexCoord[0].st) * gl_Color;
}
#endif

#ifdef VERTEX
// Everything sways gently like seen through water; "depth" is the sway
// in pixels (4 when never set).
uniform float depth = 4.0;

void sway() {
  vec4 v = gl_Vertex;
  v.x += sin(v.y * 0.02 + upd * 2.0) * depth * force;
  gl_Position = gl_ModelViewProjectionMatrix * v;
  gl_FrontColor = gl_Color;
  gl_TexCoord[0] = gl_MultiTexCoord0;
}

// Vertices as they are: the vertex slot's "off".
void still() {
  gl_Position = gl_ModelViewProjectionMatrix * gl_Vertex;
  gl_FrontColor = gl_Color;
  gl_TexCoord[0] = gl_MultiTexCoord0;
}
#endif
