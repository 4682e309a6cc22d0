// Every function of the browser engine that the page host calls, for the
// engine library opened at run time (engine_library.cpp): the agent, which
// has no page, never maps the engine. Included with LUM_ENGINE_FUNCTION
// defined as (return type, name, parameter list, argument list).
//
// The program is compiled against the engine's headers but not linked with
// it, so a call to a function missing here fails to link.
//
// The type checks of the engine's cast macros (WEBKIT_WEB_VIEW and the
// others) call the types' get_type functions, so those are here too.

// clang-format off
LUM_ENGINE_FUNCTION(GType, webkit_web_view_get_type, (void), ())
LUM_ENGINE_FUNCTION(GType, webkit_response_policy_decision_get_type, (void), ())
LUM_ENGINE_FUNCTION(GType, webkit_navigation_policy_decision_get_type, (void), ())

LUM_ENGINE_FUNCTION(WebKitWebContext*, webkit_web_context_new_ephemeral, (void), ())
LUM_ENGINE_FUNCTION(void, webkit_web_context_register_uri_scheme,
                    (WebKitWebContext* context, const gchar* scheme, WebKitURISchemeRequestCallback callback,
                     gpointer user_data, GDestroyNotify user_data_destroy_func),
                    (context, scheme, callback, user_data, user_data_destroy_func))
LUM_ENGINE_FUNCTION(WebKitSecurityManager*, webkit_web_context_get_security_manager,
                    (WebKitWebContext* context), (context))
LUM_ENGINE_FUNCTION(void, webkit_security_manager_register_uri_scheme_as_local,
                    (WebKitSecurityManager* security_manager, const gchar* scheme), (security_manager, scheme))

LUM_ENGINE_FUNCTION(const gchar*, webkit_uri_scheme_request_get_path, (WebKitURISchemeRequest* request),
                    (request))
LUM_ENGINE_FUNCTION(void, webkit_uri_scheme_request_finish,
                    (WebKitURISchemeRequest* request, GInputStream* stream, gint64 stream_length,
                     const gchar* content_type),
                    (request, stream, stream_length, content_type))
LUM_ENGINE_FUNCTION(void, webkit_uri_scheme_request_finish_error, (WebKitURISchemeRequest* request, GError* error),
                    (request, error))

LUM_ENGINE_FUNCTION(GtkWidget*, webkit_web_view_new_with_context, (WebKitWebContext* context), (context))
LUM_ENGINE_FUNCTION(WebKitSettings*, webkit_web_view_get_settings, (WebKitWebView* web_view), (web_view))
LUM_ENGINE_FUNCTION(void, webkit_settings_set_enable_developer_extras, (WebKitSettings* settings, gboolean enabled),
                    (settings, enabled))
LUM_ENGINE_FUNCTION(void, webkit_settings_set_javascript_can_open_windows_automatically,
                    (WebKitSettings* settings, gboolean enabled), (settings, enabled))
LUM_ENGINE_FUNCTION(void, webkit_settings_set_hardware_acceleration_policy,
                    (WebKitSettings* settings, WebKitHardwareAccelerationPolicy policy), (settings, policy))
LUM_ENGINE_FUNCTION(const gchar*, webkit_web_view_get_uri, (WebKitWebView* web_view), (web_view))
LUM_ENGINE_FUNCTION(void, webkit_web_view_load_uri, (WebKitWebView* web_view, const gchar* uri), (web_view, uri))
LUM_ENGINE_FUNCTION(void, webkit_web_view_load_html,
                    (WebKitWebView* web_view, const gchar* content, const gchar* base_uri),
                    (web_view, content, base_uri))
LUM_ENGINE_FUNCTION(void, webkit_web_view_stop_loading, (WebKitWebView* web_view), (web_view))
LUM_ENGINE_FUNCTION(void, webkit_web_view_evaluate_javascript,
                    (WebKitWebView* web_view, const char* script, gssize length, const char* world_name,
                     const char* source_uri, GCancellable* cancellable, GAsyncReadyCallback callback,
                     gpointer user_data),
                    (web_view, script, length, world_name, source_uri, cancellable, callback, user_data))
LUM_ENGINE_FUNCTION(JSCValue*, webkit_web_view_evaluate_javascript_finish,
                    (WebKitWebView* web_view, GAsyncResult* result, GError** error), (web_view, result, error))
LUM_ENGINE_FUNCTION(gboolean, jsc_value_is_string, (JSCValue* value), (value))
LUM_ENGINE_FUNCTION(char*, jsc_value_to_string, (JSCValue* value), (value))

LUM_ENGINE_FUNCTION(void, webkit_policy_decision_use, (WebKitPolicyDecision* decision), (decision))
LUM_ENGINE_FUNCTION(void, webkit_policy_decision_ignore, (WebKitPolicyDecision* decision), (decision))
LUM_ENGINE_FUNCTION(WebKitURIRequest*, webkit_response_policy_decision_get_request,
                    (WebKitResponsePolicyDecision* decision), (decision))
LUM_ENGINE_FUNCTION(gboolean, webkit_response_policy_decision_is_main_frame_main_resource,
                    (WebKitResponsePolicyDecision* decision), (decision))
LUM_ENGINE_FUNCTION(WebKitNavigationAction*, webkit_navigation_policy_decision_get_navigation_action,
                    (WebKitNavigationPolicyDecision* decision), (decision))
LUM_ENGINE_FUNCTION(WebKitURIRequest*, webkit_navigation_action_get_request, (WebKitNavigationAction* navigation),
                    (navigation))
LUM_ENGINE_FUNCTION(const gchar*, webkit_uri_request_get_uri, (WebKitURIRequest* request), (request))
// clang-format on
