void zorvy_layers_case(void) {}
