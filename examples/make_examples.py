#!/usr/bin/env python3
"""Writes the two example lists beside this script: DataRefs.txt and Commands.txt.

The references are invented for trying Refscope without the simulator: they are
shaped like the simulator's own lists (a header line, tab-separated datarefs,
blank-padded commands) but name no real variable or command on purpose. A few
unusual lines are planted in each file; README.md here lists them. Run it from
anywhere; the output is the same every time:

    python3 examples/make_examples.py
"""

import os

HERE = os.path.dirname(os.path.abspath(__file__))

ENGINE_FIELDS = [
    ("N1_percent", "float[8]", "n", "percent", "Fan speed of each engine, as a percentage of its rated maximum"),
    ("N2_percent", "float[8]", "n", "percent", "Core speed of each engine, as a percentage of its rated maximum"),
    ("EGT_deg_c", "float[8]", "n", "degrees C", "Exhaust gas temperature of each engine"),
    ("ITT_deg_c", "float[8]", "n", "degrees C", "Inter-turbine temperature of each engine"),
    ("fuel_flow_kg_sec", "float[8]", "y", "kg/s", "Fuel flow into each engine"),
    ("oil_press_psi", "float[8]", "n", "psi", "Oil pressure of each engine"),
    ("oil_temp_deg_c", "float[8]", "n", "degrees C", "Oil temperature of each engine"),
    ("throttle_ratio", "float[8]", "y", "ratio", "Throttle lever position of each engine, 0 to 1"),
    ("mixture_ratio", "float[8]", "y", "ratio", "Mixture lever position of each engine, 0 (cut-off) to 1 (rich)"),
    ("prop_ratio", "float[8]", "y", "ratio", "Propeller lever position of each engine"),
    ("prop_rpm", "float[8]", "n", "rpm", "Propeller speed of each engine"),
    ("torque_nm", "float[8]", "n", "newton-meters", "Shaft torque of each engine"),
    ("ignition_key", "int[8]", "y", "enum", "Ignition key of each engine: 0 off, 1 left, 2 right, 3 both, 4 start"),
    ("starter_running", "int[8]", "n", "boolean", "Whether the starter of each engine is turning"),
    ("is_burning_fuel", "int[8]", "n", "boolean", "Whether each engine is burning fuel"),
    ("fire_warning", "int[8]", "n", "boolean", "Fire warning of each engine"),
    ("reverser_deploy_ratio", "float[8]", "n", "ratio", "How far the thrust reverser of each engine is deployed"),
    ("carb_heat_ratio", "float[8]", "y", "ratio", "Carburettor heat of each engine"),
]

LIGHTS = ["beacon", "strobe", "navigation", "landing", "taxi", "logo", "wing", "runway_turnoff"]

RADIOS = {
    "com1": ("communication radio 1", "10 Hz"),
    "com2": ("communication radio 2", "10 Hz"),
    "nav1": ("navigation radio 1", "10 Hz"),
    "nav2": ("navigation radio 2", "10 Hz"),
    "adf1": ("direction finder 1", "kHz"),
}

POSITION = [
    ("latitude_deg", "double", "n", "degrees", "Latitude of the aircraft's reference point"),
    ("longitude_deg", "double", "n", "degrees", "Longitude of the aircraft's reference point"),
    ("elevation_m", "double", "n", "meters", "Height of the reference point above mean sea level"),
    ("height_agl_m", "float", "n", "meters", "Height of the reference point above the ground below it"),
    ("local_x", "double", "y", "meters", "East position in the local frame of the scenery"),
    ("local_y", "double", "y", "meters", "Up position in the local frame of the scenery"),
    ("local_z", "double", "y", "meters", "South position in the local frame of the scenery"),
    ("pitch_deg", "float", "y", "degrees", "Pitch of the airframe, nose up positive"),
    ("roll_deg", "float", "y", "degrees", "Roll of the airframe, right wing down positive"),
    ("heading_true_deg", "float", "y", "degrees", "True heading of the airframe"),
    ("heading_mag_deg", "float", "n", "degrees", "Magnetic heading of the airframe"),
    ("indicated_airspeed_kt", "float", "n", "knots", "Indicated airspeed"),
    ("true_airspeed_ms", "float", "n", "meters/sec", "True airspeed"),
    ("ground_speed_ms", "float", "n", "meters/sec", "Speed over the ground"),
    ("vertical_speed_fpm", "float", "n", "feet/minute", "Rate of climb, descent negative"),
    ("mach", "float", "n", "ratio", "Mach number"),
    ("angle_of_attack_deg", "float", "n", "degrees", "Angle of attack of the wing"),
    ("sideslip_deg", "float", "n", "degrees", "Sideslip angle"),
    ("g_load_normal", "float", "n", "g", "Load factor along the airframe's vertical axis"),
    ("on_ground", "int", "n", "boolean", "Whether any wheel touches the ground"),
]

CONTROLS = [
    ("yoke_pitch_ratio", "float", "y", "ratio", "Pilot's pitch input, -1 (push) to 1 (pull)"),
    ("yoke_roll_ratio", "float", "y", "ratio", "Pilot's roll input, -1 (left) to 1 (right)"),
    ("rudder_pedal_ratio", "float", "y", "ratio", "Pilot's yaw input, -1 (left) to 1 (right)"),
    ("elevator_trim_ratio", "float", "y", "ratio", "Elevator trim, -1 (nose down) to 1 (nose up)"),
    ("aileron_trim_ratio", "float", "y", "ratio", "Aileron trim"),
    ("rudder_trim_ratio", "float", "y", "ratio", "Rudder trim"),
    ("flap_handle_ratio", "float", "y", "ratio", "Flap handle position"),
    ("flap_deployed_ratio", "float", "n", "ratio", "Actual flap position"),
    ("speedbrake_handle_ratio", "float", "y", "ratio", "Speed brake handle, -0.5 armed, 0 stowed, 1 full"),
    ("parking_brake_ratio", "float", "y", "ratio", "Parking brake"),
    ("left_brake_ratio", "float", "y", "ratio", "Left toe brake"),
    ("right_brake_ratio", "float", "y", "ratio", "Right toe brake"),
    ("gear_handle_down", "int", "y", "boolean", "Landing gear handle"),
    ("gear_deploy_ratio", "float[10]", "n", "ratio", "How far each landing gear leg is extended"),
    ("nosewheel_steer_on", "int", "y", "boolean", "Nose wheel steering engaged"),
]

AUTOPILOT = [
    ("heading_bug_deg", "float", "y", "degrees", "Heading selected on the autopilot panel"),
    ("altitude_select_ft", "float", "y", "feet", "Altitude selected on the autopilot panel"),
    ("vertical_speed_select_fpm", "float", "y", "feet/minute", "Vertical speed selected on the autopilot panel"),
    ("airspeed_select_kt", "float", "y", "knots", "Airspeed selected on the autopilot panel"),
    ("course_select_deg", "float", "y", "degrees", "Course selected for the navigation source"),
    ("engaged", "int", "y", "boolean", "Autopilot servos engaged"),
    ("flight_director_on", "int", "y", "boolean", "Flight director bars shown"),
    ("heading_mode", "int", "n", "enum", "Lateral mode: 0 off, 1 heading, 2 navigation, 3 approach"),
    ("altitude_mode", "int", "n", "enum", "Vertical mode: 0 off, 1 hold, 2 vertical speed, 3 level change"),
    ("autothrottle_on", "int", "y", "boolean", "Autothrottle engaged"),
    ("yaw_damper_on", "int", "y", "boolean", "Yaw damper engaged"),
    ("disconnect_warning", "int", "n", "boolean", "Autopilot disconnect warning active"),
]

ELECTRICAL = [
    ("battery_on", "int[4]", "y", "boolean", "Battery switches"),
    ("battery_volts", "float[4]", "n", "volts", "Voltage of each battery"),
    ("battery_charge_ratio", "float[4]", "n", "ratio", "Charge left in each battery"),
    ("generator_on", "int[8]", "y", "boolean", "Generator switch of each engine"),
    ("generator_amps", "float[8]", "n", "amps", "Output of each generator"),
    ("bus_volts", "float[6]", "n", "volts", "Voltage of each electrical bus"),
    ("avionics_on", "int", "y", "boolean", "Avionics master switch"),
    ("external_power_on", "int", "y", "boolean", "Ground power connected and switched on"),
    ("inverter_on", "int[2]", "y", "boolean", "Inverter switches"),
]

WEATHER = [
    ("temperature_ambient_c", "float", "n", "degrees C", "Outside air temperature at the aircraft"),
    ("temperature_sealevel_c", "float", "y", "degrees C", "Temperature at sea level"),
    ("pressure_sealevel_inhg", "float", "y", "inches Hg", "Barometric pressure at sea level"),
    ("pressure_ambient_inhg", "float", "n", "inches Hg", "Air pressure at the aircraft"),
    ("density_ratio", "float", "n", "ratio", "Air density relative to the standard sea-level value"),
    ("visibility_m", "float", "y", "meters", "Visibility at the aircraft"),
    ("wind_speed_kt", "float[13]", "y", "knots", "Wind speed of each wind layer"),
    ("wind_direction_deg", "float[13]", "y", "degrees", "Direction each wind layer blows from, true"),
    ("wind_altitude_m", "float[13]", "y", "meters", "Altitude of each wind layer"),
    ("turbulence_ratio", "float[13]", "y", "ratio", "Turbulence of each wind layer"),
    ("cloud_type", "int[3]", "y", "enum", "Kind of each cloud layer: 0 clear, 1 cirrus, 2 scattered, 3 broken, 4 overcast"),
    ("cloud_base_m", "float[3]", "y", "meters", "Base of each cloud layer above sea level"),
    ("cloud_top_m", "float[3]", "y", "meters", "Top of each cloud layer above sea level"),
    ("precipitation_ratio", "float", "y", "ratio", "Rain or snow falling at the aircraft"),
    ("runway_wetness_ratio", "float", "y", "ratio", "How wet the runways are"),
    ("thermal_rate_ms", "float", "y", "meters/sec", "Climb rate of thermals"),
]

TIME = [
    ("zulu_seconds", "float", "n", "seconds", "Time of day in universal time, seconds since midnight"),
    ("local_seconds", "float", "n", "seconds", "Local time of day at the aircraft"),
    ("day_of_year", "int", "y", "days", "Day of the year, 0 for the first of January"),
    ("paused", "int", "n", "boolean", "The simulation is paused"),
    ("speed_multiplier", "int", "y", "ratio", "How many times faster than real time the simulation runs"),
    ("frame_period_sec", "float", "n", "seconds", "Length of the last simulated frame"),
    ("running_seconds", "float", "n", "seconds", "Time since the simulator started"),
    ("flight_seconds", "float", "n", "seconds", "Time since the current flight started"),
]

VIEW = [
    ("view_kind", "int", "n", "enum", "The current view: 1000 forward panel, 1017 chase, 1023 external, 1026 3-D cockpit"),
    ("head_x_m", "float", "y", "meters", "Pilot's head position, right of the reference point"),
    ("head_y_m", "float", "y", "meters", "Pilot's head position, above the reference point"),
    ("head_z_m", "float", "y", "meters", "Pilot's head position, behind the reference point"),
    ("head_heading_deg", "float", "y", "degrees", "Pilot's head turned right of the nose"),
    ("head_pitch_deg", "float", "y", "degrees", "Pilot's head tilted up"),
    ("field_of_view_deg", "float", "y", "degrees", "Horizontal field of view"),
    ("window_width_px", "int", "n", "pixels", "Width of the main window"),
    ("window_height_px", "int", "n", "pixels", "Height of the main window"),
    ("is_external", "int", "n", "boolean", "The view is outside the aircraft"),
]

FAILURES = ["engine_fire", "engine_seize", "generator", "battery", "vacuum_pump", "pitot_blocked",
            "static_blocked", "gear_collapse", "flap_jam", "hydraulic_pump", "fuel_pump", "bird_strike"]

GAUGES = [
    ("airspeed_kt", "float", "n", "knots", "Airspeed shown on the {side} airspeed indicator"),
    ("altitude_ft", "float", "n", "feet", "Altitude shown on the {side} altimeter"),
    ("barometer_setting_inhg", "float", "y", "inches Hg", "Barometer setting of the {side} altimeter"),
    ("vertical_speed_fpm", "float", "n", "feet/minute", "Rate shown on the {side} vertical speed indicator"),
    ("attitude_pitch_deg", "float", "n", "degrees", "Pitch shown on the {side} attitude indicator"),
    ("attitude_roll_deg", "float", "n", "degrees", "Roll shown on the {side} attitude indicator"),
    ("heading_deg", "float", "n", "degrees", "Heading shown on the {side} heading indicator"),
    ("turn_rate_deg_sec", "float", "n", "degrees/second", "Rate shown on the {side} turn coordinator"),
    ("slip_deg", "float", "n", "degrees", "Ball of the {side} turn coordinator"),
]


def datarefs():
    rows = []
    add = lambda path, kind, writable, units, text: rows.append("\t".join([path, kind, writable, units, text]))
    for name, kind, w, units, text in ENGINE_FIELDS:
        add("sim/engines/" + name, kind, w, units, text)
    for light in LIGHTS:
        add("sim/cockpit/lights/%s_on" % light, "int", "y", "boolean", "Switch of the %s lights" % light.replace("_", " "))
        add("sim/cockpit/lights/%s_brightness" % light, "float", "n", "ratio",
            "How bright the %s lights are, after the electrical system" % light.replace("_", " "))
    for radio, (what, unit) in RADIOS.items():
        base = "sim/cockpit/radios/" + radio
        add(base + "/frequency", "int", "y", unit, "Active frequency of the " + what)
        add(base + "/standby_frequency", "int", "y", unit, "Standby frequency of the " + what)
        add(base + "/power", "int", "y", "boolean", "Power switch of the " + what)
        add(base + "/volume_ratio", "float", "y", "ratio", "Audio volume of the " + what)
        if radio.startswith("nav"):
            add(base + "/course_deg", "float", "y", "degrees", "Selected course of the " + what)
            add(base + "/deviation_dots", "float", "n", "dots", "Course deviation shown for the " + what)
            add(base + "/has_glideslope", "int", "n", "boolean", "The tuned station of the %s has a glide slope" % what)
    add("sim/cockpit/radios/transponder_code", "int", "y", "code", "Transponder code, four octal digits")
    add("sim/cockpit/radios/transponder_mode", "int", "y", "enum", "Transponder mode: 0 off, 1 standby, 2 on, 3 altitude")
    for name, kind, w, units, text in AUTOPILOT:
        add("sim/cockpit/autopilot/" + name, kind, w, units, text)
    for name, kind, w, units, text in ELECTRICAL:
        add("sim/cockpit/electrical/" + name, kind, w, units, text)
    for side in ("pilot", "copilot", "standby"):
        for name, kind, w, units, text in GAUGES:
            add("sim/cockpit/gauges/%s/%s" % (side, name), kind, w, units, text.format(side=side))
    for name, kind, w, units, text in POSITION:
        add("sim/flightmodel/position/" + name, kind, w, units, text)
    for name, kind, w, units, text in CONTROLS:
        add("sim/flightmodel/controls/" + name, kind, w, units, text)
    for tank in range(1, 5):
        add("sim/flightmodel/fuel/tank%d_kg" % tank, "float", "y", "kg", "Fuel in tank %d" % tank)
        add("sim/flightmodel/fuel/tank%d_selected" % tank, "int", "y", "boolean", "Tank %d feeds the engines" % tank)
    add("sim/flightmodel/weight/total_kg", "float", "n", "kg", "Total weight of the aircraft")
    add("sim/flightmodel/weight/payload_kg", "float", "y", "kg", "Weight of passengers and cargo")
    add("sim/flightmodel/weight/cg_offset_m", "float", "y", "meters", "Shift of the centre of gravity, aft positive")
    for system in ("green", "blue"):
        add("sim/cockpit/hydraulics/%s_pressure_psi" % system, "float", "n", "psi", "Pressure of the %s hydraulic system" % system)
        add("sim/cockpit/hydraulics/%s_quantity_ratio" % system, "float", "y", "ratio", "Fluid left in the %s reservoir" % system)
        add("sim/cockpit/hydraulics/%s_pump_on" % system, "int", "y", "boolean", "Electric pump of the %s system" % system)
    for name, kind, w, units, text in (
            ("cabin_altitude_ft", "float", "n", "feet", "Pressure altitude inside the cabin"),
            ("cabin_rate_fpm", "float", "n", "feet/minute", "Rate of change of the cabin altitude"),
            ("differential_psi", "float", "n", "psi", "Cabin pressure above the outside pressure"),
            ("outflow_valve_ratio", "float", "y", "ratio", "How far the outflow valve is open"),
            ("dump_on", "int", "y", "boolean", "Cabin pressure dump switch")):
        add("sim/cockpit/pressurization/" + name, kind, w, units, text)
    for surface in ("wing", "tail", "pitot", "windshield", "inlet"):
        add("sim/cockpit/ice/%s_heat_on" % surface, "int", "y", "boolean", "Anti-ice heat of the %s" % surface)
        add("sim/flightmodel/ice/%s_ratio" % surface, "float", "y", "ratio", "Ice built up on the %s" % surface)
    for name, units, text in (("lift_n", "newtons", "Total lift"), ("drag_n", "newtons", "Total drag"),
                              ("side_n", "newtons", "Total side force"), ("thrust_n", "newtons", "Total thrust"),
                              ("pitch_moment_nm", "newton-meters", "Pitching moment, nose up positive"),
                              ("roll_moment_nm", "newton-meters", "Rolling moment, right wing down positive"),
                              ("yaw_moment_nm", "newton-meters", "Yawing moment, nose right positive")):
        add("sim/flightmodel/forces/" + name, "float", "n", units, text)
    for name, kind, w, units, text in WEATHER:
        add("sim/weather/" + name, kind, w, units, text)
    for name, kind, w, units, text in TIME:
        add("sim/time/" + name, kind, w, units, text)
    for name, kind, w, units, text in VIEW:
        add("sim/graphics/view/" + name, kind, w, units, text)
    for failure in FAILURES:
        add("sim/operation/failures/" + failure, "int", "y", "failure_enum",
            "Failure state of the %s: 0 working, 6 failed" % failure.replace("_", " "))
    for plane in range(1, 10):
        for axis, text in (("x", "east"), ("y", "up"), ("z", "south")):
            add("sim/multiplayer/plane%d/%s" % (plane, axis), "double", "y", "meters",
                "Position of other aircraft %d, %s in the local frame" % (plane, text))
        add("sim/multiplayer/plane%d/heading_deg" % plane, "float", "y", "degrees", "True heading of other aircraft %d" % plane)
    return rows


def datarefs_unusual():
    """The planted lines, each with the reason it is there."""
    return [
        # A path that is also the beginning of other paths: the tree shows it as a branch.
        "\t".join(["sim/cockpit/autopilot", "int", "n", "boolean", "Any autopilot mode is active"]),
        # The same path twice: both records stay; the tree keeps the first one's columns.
        "\t".join(["sim/time/paused", "int", "n", "boolean", "Second line for this path, as lists merged from two versions have"]),
        # A path ending in "/": the tree gets a child with an empty name under "misc".
        "\t".join(["sim/cockpit/misc/", "int", "n", "count", "Path that ends in a slash"]),
        # No units: the empty column is dropped, so the description shows under "Units".
        "\t".join(["sim/cockpit/misc/compass_heading_deg", "float", "n", "", "Heading shown on the wet compass"]),
        # A long description.
        "\t".join(["sim/flightmodel/controls/control_mode", "int", "y", "enum",
                   "How the controls reach the surfaces: 0 direct mechanical linkage, 1 hydraulic boost with "
                   "feel springs, 2 fly-by-wire with normal law protections for pitch, bank, angle of attack "
                   "and overspeed, 3 fly-by-wire in alternate law with the protections lost, 4 fly-by-wire in "
                   "direct law where stick position maps straight to surface deflection, 5 mechanical backup "
                   "through the trim wheels and rudder pedals only"]),
        # A description that is not plain ASCII (UTF-8).
        "\t".join(["sim/weather/dew_point_c", "float", "n", "°C", "Dew point – the temperature at which the air is saturated (≈ 100 % humidity)"]),
    ]


def commands():
    rows = []
    add = lambda path, text: rows.append(path.ljust(51) + text)
    add("sim/none/nothing", "Does nothing.")
    for light in LIGHTS:
        name = light.replace("_", " ")
        add("sim/lights/%s_on" % light, "Switch the %s lights on." % name)
        add("sim/lights/%s_off" % light, "Switch the %s lights off." % name)
        add("sim/lights/%s_toggle" % light, "Toggle the %s lights." % name)
    for radio, (what, _) in RADIOS.items():
        base = "sim/radios/" + radio
        add(base + "/flip", "Swap active and standby frequency of the %s." % what)
        add(base + "/coarse_up", "Tune the %s's standby frequency up, coarse." % what)
        add(base + "/coarse_down", "Tune the %s's standby frequency down, coarse." % what)
        add(base + "/fine_up", "Tune the %s's standby frequency up, fine." % what)
        add(base + "/fine_down", "Tune the %s's standby frequency down, fine." % what)
        add(base + "/power_toggle", "Toggle the power of the %s." % what)
    for n in range(1, 5):
        add("sim/engines/engine%d/start" % n, "Hold to engage the starter of engine %d." % n)
        add("sim/engines/engine%d/cut_off" % n, "Cut the fuel to engine %d." % n)
        add("sim/engines/engine%d/throttle_up" % n, "Advance the throttle of engine %d a little." % n)
        add("sim/engines/engine%d/throttle_down" % n, "Retard the throttle of engine %d a little." % n)
        add("sim/engines/engine%d/fire_extinguish" % n, "Discharge the fire bottle into engine %d." % n)
    for n in range(1, 5):
        for position in ("off", "left", "right", "both"):
            add("sim/engines/engine%d/magnetos_%s" % (n, position), "Turn the magnetos of engine %d to %s." % (n, position.upper()))
    for light in LIGHTS:
        add("sim/lights/%s_brighter" % light, "Turn the %s lights brighter." % light.replace("_", " "))
        add("sim/lights/%s_dimmer" % light, "Turn the %s lights dimmer." % light.replace("_", " "))
    for what in ("throttle", "mixture", "prop"):
        add("sim/engines/%s_up" % what, "Move every %s lever forward a little." % what)
        add("sim/engines/%s_down" % what, "Move every %s lever back a little." % what)
        add("sim/engines/%s_full" % what, "Move every %s lever fully forward." % what)
        add("sim/engines/%s_idle" % what, "Move every %s lever fully back." % what)
    for axis in ("pitch", "roll", "yaw"):
        for sense in ("up", "down") if axis == "pitch" else ("left", "right"):
            add("sim/controls/%s_trim_%s" % (axis, sense), "Trim %s %s a little." % (axis, sense))
    add("sim/controls/flaps_up", "Raise the flaps one notch.")
    add("sim/controls/flaps_down", "Lower the flaps one notch.")
    add("sim/controls/gear_up", "Raise the landing gear.")
    add("sim/controls/gear_down", "Lower the landing gear.")
    add("sim/controls/gear_toggle", "Toggle the landing gear handle.")
    add("sim/controls/speedbrake_extend", "Extend the speed brakes one step.")
    add("sim/controls/speedbrake_retract", "Retract the speed brakes one step.")
    add("sim/controls/brakes_hold", "Hold to apply both toe brakes.")
    add("sim/controls/parking_brake_toggle", "Toggle the parking brake.")
    for name, text in (("engage", "Engage the autopilot."), ("disengage", "Disengage the autopilot."),
                       ("heading_mode", "Select heading mode."), ("nav_mode", "Select navigation mode."),
                       ("approach_mode", "Select approach mode."), ("altitude_hold", "Hold the current altitude."),
                       ("vertical_speed_mode", "Select vertical speed mode."),
                       ("level_change", "Select level change mode."), ("heading_sync", "Set the heading bug to the current heading."),
                       ("heading_up", "Turn the heading bug right."), ("heading_down", "Turn the heading bug left."),
                       ("altitude_up", "Raise the selected altitude."), ("altitude_down", "Lower the selected altitude."),
                       ("autothrottle_toggle", "Toggle the autothrottle."), ("flight_director_toggle", "Toggle the flight director."),
                       ("yaw_damper_toggle", "Toggle the yaw damper.")):
        add("sim/autopilot/" + name, text)
    for name, text in (("forward", "Look forward from the cockpit."), ("chase", "Chase view behind the aircraft."),
                       ("tower", "View from the nearest tower."), ("free_camera", "Move the camera freely."),
                       ("zoom_in", "Zoom in."), ("zoom_out", "Zoom out."), ("look_left", "Turn the head left."),
                       ("look_right", "Turn the head right."), ("look_up", "Tilt the head up."),
                       ("look_down", "Tilt the head down."), ("center", "Centre the head.")):
        add("sim/view/" + name, text)
    for name, text in (("pause_toggle", "Pause or resume the simulation."), ("faster", "Run the simulation faster."),
                       ("slower", "Run the simulation slower."), ("screenshot", "Save a picture of the screen."),
                       ("reload_aircraft", "Load the current aircraft again."), ("reset_flight", "Start the flight again."),
                       ("show_map", "Show the map."), ("show_weather", "Show the weather settings."),
                       ("quit", "Quit the simulator.")):
        add("sim/operation/" + name, text)
    for failure in FAILURES:
        add("sim/operation/fail/" + failure, "Fail the %s now." % failure.replace("_", " "))
        add("sim/operation/fix/" + failure, "Repair the %s." % failure.replace("_", " "))
    for n in range(1, 10):
        add("sim/multiplayer/plane%d/select" % n, "Look at other aircraft %d." % n)
    for side in ("pilot", "copilot"):
        add("sim/instruments/%s/barometer_up" % side, "Raise the %s altimeter's barometer setting." % side)
        add("sim/instruments/%s/barometer_down" % side, "Lower the %s altimeter's barometer setting." % side)
        add("sim/instruments/%s/barometer_standard" % side, "Set the %s altimeter to standard pressure." % side)
    return rows


def commands_unusual():
    return [
        # The same path twice.
        "sim/controls/gear_toggle".ljust(51) + "Second line for this path.",
        # A path that is also the beginning of other paths.
        "sim/autopilot".ljust(51) + "Open the autopilot panel.",
        # A path ending in "/".
        "sim/view/".ljust(51) + "Path that ends in a slash.",
        # A command with no description at all.
        "sim/none/silent",
        # A long description.
        "sim/operation/regenerate_everything".ljust(51)
        + "Rebuild every cached file the simulator keeps: scenery indexes, aircraft icons, the navigation "
        "database in its fast-loading form, the shader cache for the current graphics card and driver, and "
        "the list of installed plugins with their signatures. This can take several minutes on a large "
        "installation and the simulator does not respond meanwhile.",
        # A description that is not plain ASCII (UTF-8).
        "sim/view/rotate_180".ljust(51) + "Turn the view by 180° – to look behind you.",
    ]


def path_of(line):
    return line.split("\t")[0].split(" ")[0]


def write(name, header, rows, planted, crlf_path):
    # Like the simulator's lists, the references are grouped but not sorted: the viewer sorts them.
    # Each planted line goes after the last line of its own folder.
    body = list(rows)
    for line in planted:
        folder = path_of(line).rstrip("/").rsplit("/", 1)[0] + "/"
        at = max((i for i, row in enumerate(body) if path_of(row).startswith(folder)), default=len(body) - 1)
        body.insert(at + 1, line)
    lines = ([header] if header is not None else []) + body
    data = ""
    for line in lines:
        ending = "\r\n" if path_of(line) == crlf_path else "\n"
        data += line + ending
    with open(os.path.join(HERE, name), "w", encoding="utf-8", newline="") as f:
        f.write(data)


def main():
    refs = datarefs()
    write("DataRefs.txt", "2 1 example list made for Refscope\n", refs, datarefs_unusual(),
          crlf_path="sim/cockpit/lights/beacon_on")
    cmds = commands()
    write("Commands.txt", None, cmds, commands_unusual(), crlf_path="sim/none/silent")


if __name__ == "__main__":
    main()
