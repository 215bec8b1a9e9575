// Post programs: the finished frame arrives in `screen` (unit 0) and is
// drawn once over the whole window. Use one as
//   setCamShaderPost("data/shaders.crs:post.glsl:sepia")
// "force" rises from 0 to 1 over the first second and falls before the
// program is replaced, so every effect below is scaled by it.

uniform sampler2D screen;
uniform float force;
uniform float upd;

// Old photograph: sepia tones and a soft dark edge. "vignette" (0..1,
// 0.6 when never set) says how dark the corners get.
uniform float vignette = 0.6;

void sepia() {
  vec2 uv = gl_TexCoord[0].st;
  vec3 c = texture(screen, uv).rgb;
  float grey = dot(c, vec3(0.299, 0.587, 0.114));
  vec3 toned = vec3(grey * 1.07, grey * 0.74, grey * 0.43) + vec3(0.08, 0.05, 0.0);
  float edge = smoothstep(0.35, 0.75, distance(uv, vec2(0.5)));
  toned *= 1.0 - edge * vignette;
  gl_FragColor = vec4(mix(c, clamp(toned, 0.0, 1.0), force), 1.0);
}

// Heat haze: rows of the picture sway sideways, slowly drifting upwards.
// "strength" is the largest shift in pixels (3 when never set).
uniform float strength = 3.0;

void heat() {
  vec2 uv = gl_TexCoord[0].st;
  float shift = sin(uv.y * 60.0 + upd * 4.0) * strength / 640.0 * force;
  gl_FragColor = vec4(texture(screen, vec2(uv.x + shift, uv.y)).rgb, 1.0);
}

// The picture as it is: what a story switches to when its effect ends
// (the effect it replaces fades out first).
void plain() {
  gl_FragColor = vec4(texture(screen, gl_TexCoord[0].st).rgb, 1.0);
}
