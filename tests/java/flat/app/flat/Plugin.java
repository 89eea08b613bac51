package flat;

/** A service that the two libraries of the flat probe provide. */
public interface Plugin {
    String name();
}
