package inner;

public class Inner {
}
