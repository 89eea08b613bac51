package probe;

public interface Service {
    String name();
}
