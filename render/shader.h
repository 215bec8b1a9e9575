// Post-processing programs of the camera: a vertex and a fragment program
// active while the world is drawn, and a post program through which the
// finished frame is copied to the screen. Only the hooks the camera calls
// exist so far; the programs themselves come with the shader runtime.
#pragma once

class CameraShader {
 public:
  static CameraShader& instance();

  // Creates the shader context for the current GL context.
  bool init();
  // Advances transitions (called each frame while the camera shades).
  void update();
  // Binds the world programs with their parameters.
  void bind();
  void unbindWorld();
  void bindPost();
  void unbindPost();
  // Called after the GL context was re-created (Left Alt+Return).
  void reload();

  bool ready() const { return ready_; }

 private:
  bool ready_ = false;
};
