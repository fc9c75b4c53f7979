// placeholder until the Qt view lands
