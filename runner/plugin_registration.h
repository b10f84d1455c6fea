// The plug-ins the application uses, registered with the engine that runs it.
#ifndef HALVEX_RUNNER_PLUGIN_REGISTRATION_H_
#define HALVEX_RUNNER_PLUGIN_REGISTRATION_H_

namespace flutter {
class PluginRegistry;
}  // namespace flutter

namespace halvex {

// Registers the four plug-ins in their fixed order, each with the registrar `registry` gives for
// its name. A missing registrar is passed on: the plug-in decides what to do without one.
void RegisterAllPlugins(flutter::PluginRegistry& registry);

}  // namespace halvex

#endif  // HALVEX_RUNNER_PLUGIN_REGISTRATION_H_
